// The check and the instrumenting of an answer program before it is sent.
#include "UnitProgramCheck.h"

#include <cstring>
#include <utility>

namespace {

const char* const StartTimeVariable = "t0_syschk";
// Runs after the first line and after every further function line.
const char* const StartLine = "t0_syschk=cputime;";
// Seconds of processor time a function may take before a loop pass ends it.
const char* const TimeLimitSeconds = "30";

// Whether the text starts at one of the line's characters: the trail byte of a double-byte
// character ("協" ends in "f") begins no match.
bool Contains(const AnsiString& line, const char* text) {
    const size_t length = std::strlen(text);
    for (size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, length, text) == 0)
            return true;
        if (IsGbkLeadByte(static_cast<unsigned char>(line[i])))
            ++i;
    }
    return false;
}

bool BeginsWith(const AnsiString& line, const char* text) {
    return line.rfind(text, 0) == 0;
}

// Inserted after every loop line: ends the program once its function has run too long.
AnsiString CheckLine(const AnsiString& indent) {
    return indent + "if cputime - t0_syschk>" + TimeLimitSeconds +
           ", error('Cost too much time.'); end";
}

} // namespace

bool InstrumentProgram(const TStringList& source, TStringList& target, AnsiString& reason) {
    reason.clear();
    target.Clear();
    if (source.Count() == 0) {
        reason = "程序文件为空！";
        return false;
    }
    if (!BeginsWith(source[0], "function")) {
        reason = "程序文件第1行必须为function声明语句。";
        return false;
    }
    target.Add(source[0]);
    target.Add(StartLine);
    for (int index = 1; index < source.Count(); ++index) {
        const AnsiString& line = source[index];
        if (Contains(line, StartTimeVariable)) {
            reason = AnsiString("\r\n程序中不能出现字符串:\r\n") + StartTimeVariable;
            return false;
        }
        if (Contains(line, "for") || Contains(line, "while")) {
            // The check line must come between the loop's head and its body.
            if (Contains(line, "end")) {
                reason = "\r\n循环语句不能写在一行代码上！";
                return false;
            }
            target.Add(line);
            target.Add(CheckLine(LoopIndent(index, source)));
            continue;
        }
        target.Add(line);
        if (BeginsWith(line, "function"))
            target.Add(StartLine);
    }
    return true;
}

AnsiString LoopIndent(int index, const TStringList& source) {
    AnsiString indent = LeadingBlanks(source[index]);
    if (index + 1 < source.Count()) {
        AnsiString next = LeadingBlanks(source[index + 1]);
        if (next.size() > indent.size())
            indent = std::move(next);
    }
    return indent;
}

AnsiString LeadingBlanks(const AnsiString& line) {
    return line.substr(0, line.find_first_not_of(" \t"));
}

// Folding A to Z to capitals finds what folding them to small letters would.
bool MentionsInputOrPause(const AnsiString& text) {
    const AnsiString folded = AnsiUpperCase(text);
    return Contains(folded, "INPUT") || Contains(folded, "PAUSE");
}
