// tovi-cli, the batch command: the program's own procedures run on pictures
// instead of the screen, for tests, benchmarks and scripted use.
//
// Each subcommand is one row of the command table in cli_main.cpp; the
// console platform (cli_platform.h) stands in for the screen and the boxes.
#pragma once
#include <string>
#include <vector>

// Runs the command line (without the program name); returns the exit code:
// 0 done, 1 the program refused or failed (its message is on standard error),
// 2 a usage or input-file error.
int Cli_main(const std::vector<std::string>& args);
