// The subcommands of the velluna program. Each returns the process's exit status: 0 success,
// 1 failure while working, 2 bad usage or bad input.
#pragma once

int RunParamsCommand(int argc, char** argv);
int RunPresetsCommand(int argc, char** argv);
int RunPlayCommand(int argc, char** argv);
int RunRenderCommand(int argc, char** argv);
int RunSmokeCommand(int argc, char** argv);
int RunSnapshotCommand(int argc, char** argv);
int RunStateCommand(int argc, char** argv);
