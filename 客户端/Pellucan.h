// The program's start: the single-instance check, the five windows created at start-up and
// the main loop.
#pragma once

class TFormMain;
class TFormTrain;
class TdllgHelpSend;
class TFormRegist;
class TFormResetpwd;

// The windows created at start-up; null before it and after the program has ended.
extern TFormMain* FormMain;
extern TFormTrain* FormTrain;
extern TdllgHelpSend* dllgHelpSend;
extern TFormRegist* FormRegist;
extern TFormResetpwd* FormResetpwd;

// The start-up check: when a main window of this program already runs for this user, shows the
// box that says so and gives true; the caller then ends without creating any window.
bool ReportRunningInstance();

// Runs the program: no command-line options; returns the exit code.
int ProgramMain(int argc, char** argv);
