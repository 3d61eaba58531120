// The hardware information component: network adapter addresses, drive serial numbers and the
// processor clock, all read anew on the calling thread each time it is activated.
#pragma once

#include "AnsiString.h"
#include "HardwareAccess.h"

#include <QObject>

#include <cstddef>

// Exchanges the two bytes of each of the Length div 2 words from the buffer's start; an odd
// last byte stays where it is.
void SwapBytePairs(unsigned char* Buffer, std::size_t Length);

// Nothing is read until Active is set to true; that one assignment reads every value and takes
// at least 510 ms. Each value that cannot be read is an empty text; nothing is shown or logged.
class TDISKSN : public QObject {
public:
    // AOwner, which may be null, frees the component when it is itself freed. The component
    // reads through the hardware access current at its creation.
    explicit TDISKSN(QObject* AOwner = nullptr);

    bool Active() const { return FActive; }
    // True reads everything afresh; false only empties the ten texts.
    void SetActive(bool Value);

    const AnsiString& IDE0SN() const { return FIDE0SN; }
    const AnsiString& IDE1SN() const { return FIDE1SN; }
    const AnsiString& SCSI0SN() const { return FSCSI0SN; }
    const AnsiString& SCSI1SN() const { return FSCSI1SN; }
    // 12 upper-case hexadecimal digits, no separators.
    const AnsiString& CardAddr0() const { return FCardAddr0; }
    const AnsiString& CardAddr1() const { return FCardAddr1; }
    const AnsiString& CardAddr2() const { return FCardAddr2; }
    const AnsiString& CardAddr3() const { return FCardAddr3; }
    const AnsiString& CardAddr4() const { return FCardAddr4; }
    // Megahertz with two decimals and the user's decimal separator.
    const AnsiString& CPUSpeedMHz() const { return FCPUSpeedMHz; }

    void SetIDE0SN(const AnsiString& value) { FIDE0SN = value; }
    void SetIDE1SN(const AnsiString& value) { FIDE1SN = value; }
    void SetSCSI0SN(const AnsiString& value) { FSCSI0SN = value; }
    void SetSCSI1SN(const AnsiString& value) { FSCSI1SN = value; }
    void SetCardAddr0(const AnsiString& value) { FCardAddr0 = value; }
    void SetCardAddr1(const AnsiString& value) { FCardAddr1 = value; }
    void SetCardAddr2(const AnsiString& value) { FCardAddr2 = value; }
    void SetCardAddr3(const AnsiString& value) { FCardAddr3 = value; }
    void SetCardAddr4(const AnsiString& value) { FCardAddr4 = value; }
    void SetCPUSpeedMHz(const AnsiString& value) { FCPUSpeedMHz = value; }

private:
    AnsiString GetAdapterAddress(int Index);
    AnsiString GetScsiSerial(short Drive);
    AnsiString GetIdeSerial(short Drive);
    double GetCPUSpeed();

    THardwareAccess FAccess;
    bool FActive = false;
    AnsiString FIDE0SN;
    AnsiString FIDE1SN;
    AnsiString FSCSI0SN;
    AnsiString FSCSI1SN;
    AnsiString FCardAddr0;
    AnsiString FCardAddr1;
    AnsiString FCardAddr2;
    AnsiString FCardAddr3;
    AnsiString FCardAddr4;
    AnsiString FCPUSpeedMHz;
};
