#include "UnitPracDataItem.h"

#include "UnitStrStream.h"

namespace {

// A record's own memory besides its fields' contents: the record, its heap block's header and
// its slot in the container (a pointer, twice over while the list grows).
constexpr std::size_t RecordOwnBytes = sizeof(TPracDataItem) + 16 + 2 * sizeof(void*);

} // namespace

void TPracDataItem::LoadFromStream(TMyStrStream& reader) {
    TVDataItem::LoadFromStream(reader);
    reader.Spend(RecordOwnBytes);
    Num1 = reader.ReadInteger();
    Num2 = reader.ReadInteger();
    Title = reader.ReadString();
    Text2 = reader.ReadString();
    Text3 = reader.ReadString();
    Text4 = reader.ReadString();
    Text5 = reader.ReadString();
    Text6 = reader.ReadString();
    Num3 = reader.ReadInteger();
    reader.ReadBitmap(Bitmap);
    RealValue = reader.ReadFloat();
    reader.ReadStrings(Lines);
    Text7 = reader.ReadString();
}
