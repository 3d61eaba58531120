// One problem record: three integers, seven texts, a picture, a real and a list of lines.
#pragma once

#include "AnsiString.h"
#include "Classes.h"
#include "UnitVDataItem.h"

#include <QImage>

class TPracDataItem : public TVDataItem {
public:
    int Num1 = 0, Num2 = 0;
    AnsiString Title, Text2, Text3, Text4, Text5, Text6;
    int Num3 = 0;
    QImage Bitmap;
    double RealValue = 0;
    TStringList Lines;
    AnsiString Text7;

    // Reads the 13 fields in file order; an error leaves the record partly read.
    void LoadFromStream(TMyStrStream& reader);
};
