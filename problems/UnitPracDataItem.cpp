#include "UnitPracDataItem.h"

#include "UnitStrStream.h"

void TPracDataItem::LoadFromStream(TMyStrStream& reader) {
    TVDataItem::LoadFromStream(reader);
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
