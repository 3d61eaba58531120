// The smaller requests of TSClient: scores, ranking, text messages, instant answers and the
// account requests, with the score and message-acknowledgement replies.
#include "UnitSocketClient.h"

void TSClient::RequestScore(const AnsiString&) {}
AnsiString TSClient::FormatScores(const TStringList&) const {
    return {};
}
bool TSClient::HasScore(const AnsiString&) const {
    return false;
}
void TSClient::RequestRanking() {}
void TSClient::SendTextMessage(const AnsiString&) {}
void TSClient::SendInstantAnswer(const AnsiString&, const AnsiString&, const AnsiString&) {}
void TSClient::RegisterAccount(const AnsiString&) {}
void TSClient::ChangePassword(const AnsiString&) {}

void TSClient::HandleScores(const AnsiString&) {}
void TSClient::HandleMessageAck(const AnsiString&) {}
