// The problem-file reader: loads and inflates a file, then reads its length-prefixed fields
// (Integer, Real, Text, Line list) and BMP pictures front to back.
#pragma once

#include "AnsiString.h"
#include "Classes.h"
#include "UnitBmpReader.h"
#include "UnitZStream.h"

#include <QImage>

// The memory the records read out of one problem text may take, their pictures included. A
// few bytes of a damaged or hostile text can declare a picture of a hundred megabytes, and a
// small file can hold millions of tiny records; real problem sets take at most about twice
// their text.
inline constexpr std::size_t MaxRecordBytes = 2 * MaxInflatedSize;

class TMyStrStream {
public:
    // recordBytes: the memory the records of each loaded text may take; inflatedBytes: the
    // longest text a file may inflate to.
    explicit TMyStrStream(std::size_t recordBytes = MaxRecordBytes,
                          std::size_t inflatedBytes = MaxInflatedSize)
        : FRecordBytes(recordBytes), FRecordBytesLeft(recordBytes), FInflatedBytes(inflatedBytes) {}

    // The inflated text and the read position.
    TMemoryStream Buffer;

    // Reads and inflates the whole file; its text replaces what the reader held, position 0.
    // Raises EFOpenError when the file cannot be read, EZDecompressionError when it does not
    // inflate or inflates past inflatedBytes (the reader then keeps its text).
    void LoadFromFile(const AnsiString& fileName);
    // Sets the position to 0.
    void Rewind() { Buffer.Position = 0; }

    // Takes bytes from the memory the records of the loaded text may still take; raises
    // EInvalidGraphic ("Bitmap image is not valid", the error of a picture the system cannot
    // create) when fewer are left. The fields read below take theirs themselves.
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
    std::size_t FRecordBytes;
    std::size_t FRecordBytesLeft;
    std::size_t FInflatedBytes;

    // The body of a field whose length prefix is prefixWidth characters wide.
    AnsiString ReadField(std::size_t prefixWidth);
    // The next count bytes, or what is left when fewer are.
    AnsiString Take(std::size_t count);
};
