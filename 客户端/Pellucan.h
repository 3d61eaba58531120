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

// Runs the program: no command-line options; returns the exit code.
int ProgramMain(int argc, char** argv);
