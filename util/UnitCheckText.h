// The local address list, the short-answer script "temp.m" and the texts of the server's
// check results.
#pragma once

#include "AnsiString.h"
#include "Classes.h"

#include <memory>

// The computer's IPv4 addresses, dotted, in the resolver's order; empty when none resolve.
std::unique_ptr<TStringList> GetLocalIPList();

bool IsChoiceAnswer(const AnsiString& answer);
bool IsJudgeAnswer(const AnsiString& answer);
// Write the two-line script to fileName and return it in script; raise the line list's errors.
void MakeChoiceAnswerScript(const AnsiString& answer, const AnsiString& fileName,
                            AnsiString& script);
void MakeJudgeAnswerScript(const AnsiString& answer, const AnsiString& fileName,
                           AnsiString& script);

enum TCheckResultCode {
    crTypeMismatch = 2000,
    crSymDimMismatch = 2001,
    crSymValueMismatch = 2002,
    crCharDimMismatch = 2003,
    crCharValueMismatch = 2004,
    crDoubleDimMismatch = 2005,
    crDoubleTolerance = 2006,
    crMismatch = 2009,
};

AnsiString CheckCodeToText(const AnsiString& token);
AnsiString FormatProblemCheckResult(const AnsiString& record);
// With maxLength, the text may end early, once it is longer than maxLength: enough for a log
// that shows no more of an entry, without building megabytes it would never show.
AnsiString FormatCheckResults(const AnsiString& payload, size_t maxLength = AnsiString::npos);
