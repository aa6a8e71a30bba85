#pragma once

#include "DuviduCliOptions.h"

// One function per command, each in its own file; main.cpp's table maps the command names to them. A command
// returns the process's exit status.

// envelope FILE: stores the envelope file in the DSN's cache and sends the cache.
int envelopeCommand(const DuviduCliOptions& options);
// flush: sends what the DSN's cache holds.
int flushCommand(const DuviduCliOptions& options);
// threads [--workers N]: the process's threads with their stacks and debug images, as JSON.
int threadsCommand(const DuviduCliOptions& options);

// message TEXT and error DOMAIN CODE DESCRIPTION: start the SDK, capture, close, print the event id; each run starts
// and ends a session.
int messageCommand(const DuviduCliOptions& options);
int errorCommand(const DuviduCliOptions& options);
