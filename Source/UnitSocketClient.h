// TSClient, the client's one connection to the teacher's server. Connection, attendance, poll and
// the reply dispatch live in UnitSocketClient.cpp, the answer upload in UnitSocketClientUpload.cpp,
// scores, ranking, messages and account requests in UnitSocketClientRequests.cpp.
#pragma once

#include "AnsiString.h"
#include "Application.h"
#include "Classes.h"
#include "Files.h"

#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QAbstractButton;
class QComboBox;
class QPlainTextEdit;
class QTimer;
class QWidget;

namespace platform {
class TClientSocket;
class TCustomWinSocket;
} // namespace platform

// The main window's download-channel set-up, called with the channel index 0, 1 or 2.
using TPortReadyEvent = std::function<void(int index)>;
// The main window's display of the client index.
using TClientIndexEvent = std::function<void()>;

// Every widget it holds belongs to the main window: it switches them but never frees them.
// Everything runs on the user-interface thread.
class TSClient {
public:
    TSClient();
    ~TSClient();
    TSClient(const TSClient&) = delete;
    TSClient& operator=(const TSClient&) = delete;

    // --- Connection and attendance (UnitSocketClient.cpp) ---

    // (Re)opens the connection and waits at most 2000 ms for it; true when it is up. A slower
    // attempt goes on and comes up later from the event loop. An active
    // connection with the same address and port is left alone unless force is set.
    bool ConnectServer(const AnsiString& address, int port, bool force);
    // "90" identity "?1000?" password; not sent while no identity has been built.
    void ReportAttendance(const AnsiString& password);
    // "26" identity "?".
    void PollServer();
    // Each acts only when the timer is bound and not already in the wanted state.
    void StartPollTimer();
    void StopPollTimer();
    void SetBusy(bool value);
    bool IsBusy() const;
    // Send file, send message, score, select file; unbound buttons are skipped.
    void SetButtonsEnabled(bool enabled);
    // Every filled slot of FControls, slot 0 first.
    void SetControlsEnabled(bool enabled);
    // The items "1" to count, at most 999, in the problem-number box; a note in the log when
    // count < 1.
    void FillProblemNumbers(int count);
    // The socket's read event: one read is one server message, dispatched by its code.
    void ClientSocketRead(platform::TCustomWinSocket& socket);
    // The socket's error event: clears every error; aborted and refused also close the socket.
    // The kind of failure does not matter here, so the event kind is not passed on.
    void ClientSocketError(platform::TCustomWinSocket& socket, int& errorCode);
    // The socket's disconnect event, also when ConnectServer closes it to open it again: ends
    // the sending state, whatever it waited for.
    void ClientSocketDisconnect();

    // --- Answer upload (UnitSocketClientUpload.cpp) ---

    // Remembers fileName and sends "01" identity "?" problem number "?" problem key "?" fileName.
    // The file is held, so that nothing rewrites or replaces it, until the upload's outcome.
    // While the connection is down the request ends at once, as a lost connection ends it.
    void SendFileRequest(const AnsiString& problemNumber, const AnsiString& problemKey,
                         const AnsiString& fileName);

    // --- Scores, ranking, messages and account requests (UnitSocketClientRequests.cpp) ---

    // "11" identity "?" argument; while the connection is down the request ends at once, as a
    // lost connection ends it.
    void RequestScore(const AnsiString& argument);
    // The score report of a "12" table, read against FProblemTypes. With maxLength, the report
    // may end early, once it is longer than maxLength (see FormatCheckResults).
    AnsiString FormatScores(const TStringList& scores, size_t maxLength = AnsiString::npos) const;
    // Whether FScores records a positive score for the problem.
    bool HasScore(const AnsiString& problemNumber) const;
    // "S1" identity.
    void RequestRanking();
    // "08" identity "?" text.
    void SendTextMessage(const AnsiString& text);
    // "31" identity "?" problem number "?" kind "?" answer.
    void SendInstantAnswer(const AnsiString& problemNumber, const AnsiString& kind,
                           const AnsiString& answer);
    // "93" identity "?" data (user name "?" password "?" e-mail, joined by the caller).
    void RegisterAccount(const AnsiString& data);
    // "94" identity "?" data (old password "?" new password, joined by the caller).
    void ChangePassword(const AnsiString& data);

    // --- Fields; the main window binds the widgets and callbacks and reads the tables ---

    platform::TFileHandle FSendStream; // the file being uploaded, open unshared; null when none
    AnsiString FIdentity;              // sent after every client code
    AnsiString FStudentNo;             // student number or account; header of every upload block
    AnsiString FClientIndex;           // last "+"-field of the last attendance reply
    QAbstractButton* FBtnSendFile = nullptr;
    QAbstractButton* FBtnSendMessage = nullptr;
    QAbstractButton* FBtnRequestScore = nullptr;
    QAbstractButton* FBtnSelectFile = nullptr;
    QPlainTextEdit* FLog = nullptr;
    QComboBox* FProblemBox = nullptr;
    std::unique_ptr<platform::TClientSocket> FSocket;
    AnsiString FSendFileName;             // full path of the file of the last file request
    TStringList FPorts;                   // data ports of the download channels
    std::array<QWidget*, 10> FControls{}; // switched by the attendance reply; slots may be empty
    TStringList FProblems;                // problem number = problem key
    TStringList FProblemTypes;            // problem number = type code
    TStringList FScores;                  // problem number = score
    QTimer* FPollTimer = nullptr;         // single-shot poll timer; "enabled" means active
    bool FBusy = false;                   // an upload or score request is in progress
    mutable std::mutex FLock;             // taken while FBusy is read
    TPortReadyEvent FOnPortReady;
    TClientIndexEvent FOnClientIndex;

private:
    // The problem-number box takes three characters, so a longer list could not be chosen from; a
    // server's list of millions of lines would otherwise hold the window and its memory.
    static constexpr int ProblemNumbersMax = 999;
    // No line of a server's table ("17", "24", "12") past the last problem that can be chosen is
    // needed; a table of millions of empty lines would otherwise hold hundreds of megabytes.
    static constexpr size_t TableLinesMax = ProblemNumbersMax;

    // One write of the whole message on the connection; dropped silently while it is down.
    void Send(const AnsiString& message);
    // Sends a request that the busy flag waits for; while the connection is down, nothing can
    // answer it, so it is given up at once and the poll starts again. False then.
    bool SendAwaitedRequest(const AnsiString& message);
    // One entry in FLog (skipped while no log is bound); CR LF inside starts a new line.
    void Log(const AnsiString& entry);
    // Where an error raised while a server message is handled goes when it cannot have its box.
    TEventErrorLog EventErrorLog();

    // Server replies; each takes the text after the two-character code.
    void HandleFileRejected(const AnsiString& payload);  // "02"
    void HandleFileGo(const AnsiString& payload);        // "03"
    void HandleEcho04(const AnsiString& payload);        // "04"
    void HandleEcho14(const AnsiString& payload);        // "14"
    void HandleNextBlock(const AnsiString& payload);     // "05"
    void HandleFileDone(const AnsiString& payload);      // "09"
    void HandleFileError(const AnsiString& payload);     // "28"
    void HandleScores(const AnsiString& payload);        // "12"
    void HandleNotice(const AnsiString& payload);        // "15"
    void HandleMessageAck(const AnsiString& payload);    // "92"
    void HandleServerMessage(const AnsiString& payload); // "08"
    void HandleBroadcast(const AnsiString& payload);     // "26"
    void HandleCheckResults(const AnsiString& payload);  // "29"
    void HandleReportResult(const AnsiString& payload);  // "22"
    void HandleReset(const AnsiString& payload);         // "06"
    void HandleProblemList(const AnsiString& payload);   // "17"
    void HandleProblemTypes(const AnsiString& payload);  // "24"
    void HandlePollIdle(const AnsiString& payload);      // "25"

    // Ends the request the busy flag waits for, when no reply can come any more: an answer's
    // file is released and its failure logged; the buttons come back and the flag is cleared.
    void GiveUpRequest();
    // The answer's file released: the upload is over.
    void EndUpload();

    // Sends the next block of FSendStream: 15 bytes of FStudentNo, zero-padded, then up to
    // 1024 bytes of the file.
    void UploadBlock();

    // The file of the answer request in progress, from "01" until the server ends or resets its
    // upload; empty when none.
    std::optional<platform::TFileHold> FSendHold;
    // Lets a reply that showed a box find out whether this object outlived it.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);

    // The dispatch table of ClientSocketRead.
    struct TReplyHandler {
        const char* Code;
        void (TSClient::*Handle)(const AnsiString& payload);
    };
    static const TReplyHandler ReplyHandlers[];
};
