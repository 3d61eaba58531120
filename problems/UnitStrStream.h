// The problem-file reader: loads and inflates a file, then reads its length-prefixed fields
// (Integer, Real, Text, Line list) and BMP pictures front to back.
#pragma once

#include "AnsiString.h"
#include "Classes.h"
#include "UnitBmpReader.h"
#include "UnitZStream.h"

#include <QImage>

// The memory one problem file's load may hold: its inflated text, then its records and their
// pictures out of what the text leaves. A few bytes of a damaged or hostile file can inflate
// without end, declare pictures of a hundred megabytes or millions of tiny records; a set of a
// hundred problems with 800 x 600 pictures, far more than one lesson uses, takes 330 MiB.
inline constexpr std::size_t MaxLoadBytes = std::size_t{512} * 1024 * 1024;

class TMyStrStream {
public:
    // budget: the memory each load may hold, its text included.
    explicit TMyStrStream(std::size_t budget = MaxLoadBytes)
        : FBudget(budget), FBytesLeft(budget) {}

    // The inflated text and the read position.
    TMemoryStream Buffer;

    // Inflates the file, read a piece at a time, into the text, which replaces what the reader
    // held (released before inflating), position 0. Raises EFOpenError or EFReadError when the
    // file cannot be opened or read, EZDecompressionError when it does not inflate or its text
    // would pass the budget; the reader then holds no text.
    void LoadFromFile(const AnsiString& fileName);
    // Sets the position to 0.
    void Rewind() { Buffer.Position = 0; }

    // Takes bytes from what the loaded text leaves of the budget; raises EInvalidGraphic
    // ("Bitmap image is not valid", the error of a picture the system cannot create) when
    // fewer are left. The fields read below take theirs themselves.
    void Spend(std::size_t bytes);

    // Each consumes exactly its field; a length or value that is not a number raises
    // EConvertError, and a body running past the end of the text takes the rest. Texts, line
    // lists and pictures take their memory as Spend does.
    int ReadInteger();
    double ReadFloat();
    AnsiString ReadString();
    // Empties list, then adds the lines of the field.
    void ReadStrings(TStringList& list);
    // Consumes one BMP picture and decodes it into bitmap (empty when the text has ended).
    // Raises EInvalidGraphic or EReadError.
    void ReadBitmap(QImage& bitmap);

private:
    std::size_t FBudget;
    std::size_t FBytesLeft;

    // The body of a field whose length prefix is prefixWidth characters wide.
    AnsiString ReadField(std::size_t prefixWidth);
    // The next count bytes, or what is left when fewer are.
    AnsiString Take(std::size_t count);
};
