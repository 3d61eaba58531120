// The problem-file reader: loads and inflates a file, then reads its length-prefixed fields
// (Integer, Real, Text, Line list) and BMP pictures front to back.
#pragma once

#include "AnsiString.h"
#include "Classes.h"
#include "UnitBmpReader.h"
#include "UnitZStream.h"

#include <QImage>

class TMyStrStream {
public:
    // pictureBytes: the memory the pictures of each loaded text may decode into.
    explicit TMyStrStream(std::size_t pictureBytes = MaxPictureBytes)
        : FPictureBytes(pictureBytes), FPictureBytesLeft(pictureBytes) {}

    // The inflated text and the read position.
    TMemoryStream Buffer;

    // Reads and inflates the whole file; its text replaces what the reader held, position 0.
    // Raises EFOpenError when the file cannot be read, EZDecompressionError when it does not
    // inflate (the reader then keeps its text).
    void LoadFromFile(const AnsiString& fileName);
    // Sets the position to 0.
    void Rewind() { Buffer.Position = 0; }

    // Each consumes exactly its field; a length or value that is not a number raises
    // EConvertError, and a body running past the end of the text takes the rest.
    int ReadInteger();
    double ReadFloat();
    AnsiString ReadString();
    // Empties list, then adds the lines of the field.
    void ReadStrings(TStringList& list);
    // Consumes one BMP picture and decodes it into bitmap (empty when the text has ended).
    // Raises EInvalidGraphic or EReadError.
    void ReadBitmap(QImage& bitmap);

private:
    std::size_t FPictureBytes;
    std::size_t FPictureBytesLeft;

    // The body of a field whose length prefix is prefixWidth characters wide.
    AnsiString ReadField(std::size_t prefixWidth);
    // The next count bytes, or what is left when fewer are.
    AnsiString Take(std::size_t count);
};
