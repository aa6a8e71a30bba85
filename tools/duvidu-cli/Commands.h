#pragma once

#include "DuviduCliOptions.h"

// One function per command, each in its own file; main.cpp's table maps the command names to them. A command
// returns the process's exit status.

// envelope FILE: stores an envelope file in the DSN's cache and sends the cache; flush: sends what the cache holds.
// Both wait at most 5 s and exit 0 when the cache is empty afterwards, 1 when something is kept for later.
int envelopeCommand(const DuviduCliOptions& options);
int flushCommand(const DuviduCliOptions& options);

// threads [--workers N]: the process's threads with their stacks and debug images, as JSON.
int threadsCommand(const DuviduCliOptions& options);

// message TEXT and error DOMAIN CODE DESCRIPTION: start the SDK, capture, close, print the event id; each run starts
// and ends a session.
int messageCommand(const DuviduCliOptions& options);
int errorCommand(const DuviduCliOptions& options);
