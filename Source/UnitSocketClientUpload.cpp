// The answer upload of TSClient: file request, size announcement, blocks on request and the
// outcome replies.
#include "UnitSocketClient.h"

void TSClient::SendFileRequest(const AnsiString&, const AnsiString&, const AnsiString&) {}

void TSClient::UploadBlock() {}

void TSClient::HandleFileRejected(const AnsiString&) {}
void TSClient::HandleFileGo(const AnsiString&) {}
void TSClient::HandleNextBlock(const AnsiString&) {}
void TSClient::HandleFileDone(const AnsiString&) {}
void TSClient::HandleFileError(const AnsiString&) {}
void TSClient::HandleCheckResults(const AnsiString&) {}
void TSClient::HandleReset(const AnsiString&) {}
