// What the fuzz targets share: one application object, modal boxes answered at once, inputs cut
// into socket reads, a read feeder over real loopback TCP and the check that fails a run.
#pragma once

#include "AnsiString.h"
#include "Sockets.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class ScriptedTeacherServer;

// Creates the application object on the offscreen platform, once per process; from then on every
// modal box closes as soon as it shows, answered with OK.
void StartFuzzApplication();
// The message boxes shown since the start.
int BoxesShown();

// Aborts the run, so that libFuzzer records the input, when the condition does not hold.
void FuzzCheck(bool condition, const char* what);

// The reads an input stands for: its bytes cut at every ReadSeparator, empty reads dropped.
inline constexpr std::string_view ReadSeparator = "\n--\n";
std::vector<AnsiString> SplitReads(const std::uint8_t* data, std::size_t size);

// Delivers reads from a scripted server to a client socket one at a time, each a read event of
// its own: the next is sent only when the socket has taken everything before it.
class TReadFeeder {
public:
    // Wraps the socket's read event, which must already be set, to count the reads.
    explicit TReadFeeder(platform::TClientSocket& socket);
    // Opens the socket to the server and waits until the server has the connection.
    bool Connect(ScriptedTeacherServer& server);
    // False when the socket did not take the read in time (the run then stops feeding).
    bool Feed(ScriptedTeacherServer& server, const AnsiString& read);

private:
    platform::TClientSocket& FSocket;
    int FReads = 0;
};
