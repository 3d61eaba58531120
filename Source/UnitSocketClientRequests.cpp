// The smaller requests of TSClient: scores, ranking, text messages, instant answers and the
// account requests, with the score and message-acknowledgement replies.
#include "UnitSocketClient.h"

#include "LogView.h"
#include "SysUtils.h"
#include "UnitCommon.h"

#include <climits>
#include <vector>

namespace {

// Programming and true/false problems may keep their score secret.
bool MayHideScore(const AnsiString& problemType) {
    return problemType == "0" || problemType == "1";
}
const char* const HiddenScore = "-1";
constexpr size_t ScoreWidth = 4;

// A score in decimal (leading blanks and a sign allowed); anything else, or a number out of
// the integer range, counts 0.
int ScoreValue(const AnsiString& text) {
    size_t i = text.find_first_not_of(' ');
    if (i == AnsiString::npos)
        return 0;
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+')
        ++i;
    if (i == text.size())
        return 0;
    long long value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return 0;
    }
    value = negative ? -value : value;
    return value < INT_MIN || value > INT_MAX ? 0 : static_cast<int>(value);
}

// "%4s": right-aligned in four characters, a longer text uncut.
AnsiString ShownScore(const AnsiString& score) {
    const size_t padding = score.size() < ScoreWidth ? ScoreWidth - score.size() : 0;
    return AnsiString(padding, ' ') + score;
}

// For each problem 1 to count, the index of the first line named by its number (-1: none), so
// that a report of n problems reads each table once instead of n times. Digits have no letter
// case, so a name matches a number exactly when its bytes are the number's decimal text.
std::vector<int> FirstLineOfEachProblem(const TStringList& lines, int count) {
    std::vector<int> firstLine(static_cast<size_t>(count) + 1, -1);
    for (int index = 0; index < lines.Count(); ++index) {
        const AnsiString& line = lines[index];
        const size_t equals = line.find('=');
        if (equals == 0 || equals == AnsiString::npos || line[0] == '0')
            continue;
        long long number = 0;
        size_t i = 0;
        for (; i < equals && line[i] >= '0' && line[i] <= '9' && number <= count; ++i)
            number = number * 10 + (line[i] - '0');
        if (i == equals && number <= count && firstLine[number] < 0)
            firstLine[number] = index;
    }
    return firstLine;
}

// The value of the line at index (everything after its first "="); empty for -1.
AnsiString ValueAt(const TStringList& lines, int index) {
    if (index < 0)
        return AnsiString();
    const AnsiString& line = lines[index];
    return line.substr(line.find('=') + 1);
}

} // namespace

void TSClient::RequestScore(const AnsiString& argument) {
    SendAwaitedRequest("11" + FIdentity + "?" + argument);
}

AnsiString TSClient::FormatScores(const TStringList& scores, size_t maxLength) const {
    AnsiString report;
    long long total = 0;
    // The table's own names are not enumerated: problems 1 to the number of its lines are.
    const int count = scores.Count();
    const std::vector<int> scoreLines = FirstLineOfEachProblem(scores, count);
    const std::vector<int> typeLines = FirstLineOfEachProblem(FProblemTypes, count);
    for (int problem = 1; problem <= count; ++problem) {
        const AnsiString score = Trim(ValueAt(scores, scoreLines[problem]));
        if (MayHideScore(ValueAt(FProblemTypes, typeLines[problem])) && score == HiddenScore) {
            report += "\r\n" + Format("第%3d题得分-保密", problem);
        } else {
            total += ScoreValue(score);
            report += "\r\n" + Format("第%3d题得分", problem) + ShownScore(score);
        }
        if (report.size() > maxLength)
            return report;
    }
    return report + "\r\n" + "当前测试总得分 " + IntToStr(total);
}

bool TSClient::HasScore(const AnsiString& problemNumber) const {
    const AnsiString score = FScores.Values(problemNumber);
    if (score.empty())
        return false;
    if (FScores.Count() < StrToInt(problemNumber))
        return false;
    return ScoreValue(score) > 0;
}

void TSClient::RequestRanking() {
    Send("S1" + FIdentity);
}

void TSClient::SendTextMessage(const AnsiString& text) {
    Send("08" + FIdentity + "?" + text);
}

void TSClient::SendInstantAnswer(const AnsiString& problemNumber, const AnsiString& kind,
                                 const AnsiString& answer) {
    Send("31" + FIdentity + "?" + problemNumber + "?" + kind + "?" + answer);
}

void TSClient::RegisterAccount(const AnsiString& data) {
    Send("93" + FIdentity + "?" + data);
}

void TSClient::ChangePassword(const AnsiString& data) {
    Send("94" + FIdentity + "?" + data);
}

void TSClient::HandleScores(const AnsiString& payload) {
    FScores.SetText(payload, TableLinesMax);
    // The log shows no more of an entry than its first part; a report of a million lines is not
    // built to be cut.
    Log(TimeStamp() + "  最新分数信息:" + "\r\n" + FormatScores(FScores, LogEntryShownMax));
    SetBusy(false);
    StartPollTimer();
}

void TSClient::HandleMessageAck(const AnsiString&) {
    Log(TimeStamp() + " 服务端收到了您发送的消息！ ");
}
