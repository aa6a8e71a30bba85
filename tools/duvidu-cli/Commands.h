#pragma once

#include "DuviduCliOptions.h"

// One function per command, each in its own file; main.cpp's table maps the command names to them. A command
// returns the process's exit status.

// threads [--workers N]: the process's threads with their stacks and debug images, as JSON.
int threadsCommand(const DuviduCliOptions& options);
