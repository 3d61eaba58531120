#include "ProblemLoading.h"

#include "FuzzSupport.h"
#include "SysUtils.h"
#include "UnitPracDataMan.h"

#include <QTemporaryDir>

#include <cstdio>
#include <fstream>

void LoadProblemFile(const AnsiString& fileBytes) {
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
    try {
        container.LoadFromFile(path);
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
}
