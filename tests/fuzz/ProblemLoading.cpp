#include "ProblemLoading.h"

#include "BmpReading.h"
#include "FuzzSupport.h"
#include "SysUtils.h"
#include "UnitPracDataMan.h"

#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <string_view>
#include <vector>

namespace {

// Widths of the length prefixes: Integer and Text, Real and Line list.
constexpr std::size_t ShortPrefix = 8;
constexpr std::size_t LongPrefix = 10;
// Integer bodies of up to this many digits always fit an int.
constexpr std::size_t IntegerDigitsMax = 9;

bool AllDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Raised where the text stops being simple.
struct TNotSimple {};

// The fields of a problem text read front to back where the text is simple: every length prefix
// decimal digits, every body within the text, every picture of a layout BmpBytes knows.
class TSimpleFields {
public:
    explicit TSimpleFields(std::string_view text) : FRest(text) {}

    std::string_view Field(std::size_t prefixWidth) {
        if (FRest.size() < prefixWidth || !AllDigits(FRest.substr(0, prefixWidth)))
            throw TNotSimple();
        const std::size_t length = std::stoull(std::string(FRest.substr(0, prefixWidth)));
        FRest.remove_prefix(prefixWidth);
        return Take(length);
    }
    int Integer() {
        const std::string_view body = Field(ShortPrefix);
        if (body.empty() || body.size() > IntegerDigitsMax || !AllDigits(body))
            throw TNotSimple();
        return std::stoi(std::string(body));
    }
    std::string_view Picture() {
        const std::optional<std::size_t> bytes = BmpBytes(FRest);
        if (!bytes)
            throw TNotSimple();
        return Take(*bytes);
    }

private:
    std::string_view Take(std::size_t count) {
        if (count > FRest.size())
            throw TNotSimple();
        const std::string_view taken = FRest.substr(0, count);
        FRest.remove_prefix(count);
        return taken;
    }

    std::string_view FRest;
};

struct TStatedRecord {
    int Num1 = 0, Num2 = 0, Num3 = 0;
    std::array<std::string_view, 7> Texts; // Title, Text2 to Text6, Text7
    std::string_view Picture;
};

// A record in file order: two Integers, six Texts, an Integer, a picture, a Real and a Line
// list (both only passed over) and a last Text.
TStatedRecord ReadRecord(TSimpleFields& fields) {
    TStatedRecord record;
    record.Num1 = fields.Integer();
    record.Num2 = fields.Integer();
    for (std::size_t i = 0; i < 6; ++i)
        record.Texts[i] = fields.Field(ShortPrefix);
    record.Num3 = fields.Integer();
    record.Picture = fields.Picture();
    fields.Field(LongPrefix);
    fields.Field(LongPrefix);
    record.Texts[6] = fields.Field(ShortPrefix);
    return record;
}

// The records a text states, as far as it is simple; whole when that is all of them.
std::vector<TStatedRecord> StatedRecords(std::string_view text, bool& whole) {
    std::vector<TStatedRecord> records;
    whole = false;
    try {
        TSimpleFields fields(text);
        const auto count = static_cast<std::size_t>(fields.Integer());
        while (records.size() < count)
            records.push_back(ReadRecord(fields));
        whole = true;
    } catch (const TNotSimple&) {
    }
    return records;
}

// The records held against those the text states: the same fields, as many of them when the
// load went through.
void CheckRecords(const TPracDataManage& container, std::string_view text, bool loaded) {
    bool whole = false;
    const std::vector<TStatedRecord> stated = StatedRecords(text, whole);
    const auto held = static_cast<std::size_t>(container.Count());
    if (loaded && whole)
        FuzzCheck(held == stated.size(), "a problem file loads the records its text states");
    for (std::size_t i = 0; i < std::min(held, stated.size()); ++i) {
        const TPracDataItem& item = container.Items(static_cast<int>(i));
        const TStatedRecord& record = stated[i];
        FuzzCheck(item.Num1 == record.Num1 && item.Num2 == record.Num2 && item.Num3 == record.Num3,
                  "a record holds the Integers its text states");
        const std::array<const AnsiString*, 7> texts{&item.Title, &item.Text2, &item.Text3,
                                                     &item.Text4, &item.Text5, &item.Text6,
                                                     &item.Text7};
        for (std::size_t j = 0; j < texts.size(); ++j)
            FuzzCheck(*texts[j] == record.Texts[j], "a record holds the Texts its text states");
        CheckBmpPixels(record.Picture, item.Bitmap);
    }
}

} // namespace

AnsiString LoadProblemFile(const AnsiString& fileBytes) {
    static QTemporaryDir folder;
    const AnsiString path = folder.filePath(QStringLiteral("train.db")).toStdString();
    // A new file each time: ext4 writes a file emptied by truncation out to disk at its close.
    std::remove(path.c_str());
    {
        std::ofstream file(path, std::ios::binary);
        file.write(fileBytes.data(), static_cast<std::streamsize>(fileBytes.size()));
        FuzzCheck(static_cast<bool>(file), "the problem file is written");
    }
    TPracDataManage container;
    container.Stream = TMyStrStream(FuzzPictureBytes);
    bool loaded = false;
    try {
        container.LoadFromFile(path);
        loaded = true;
    } catch (const Exception&) {
        // Any of the system's errors ends a load; anything else escapes and fails the run.
    }
    const TMemoryStream& text = container.Stream.Buffer;
    FuzzCheck(text.Position <= text.Size(), "reading never leaves the text");
    // A record holds three Integers, each a prefix of eight bytes and a body of at least one.
    FuzzCheck(static_cast<std::size_t>(container.Count()) * 27 <= text.Size(),
              "no record is made of bytes that are not there");
    for (int i = 0; i < container.Count(); ++i)
        container.Items(i).Bitmap.bits(); // a picture shown must be readable
    CheckRecords(container, text.Bytes(), loaded);
    return AnsiString(text.Bytes());
}
