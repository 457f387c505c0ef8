// The console of a windowed program.
//
// A program built for the windowed subsystem gets no console of its own: started from a command
// prompt or a scheduler, its standard output and error lead nowhere unless the starter redirected
// them. AttachParentConsole makes them reach the starter's console when it has one, so that a run
// started from a console still prints its log lines and box texts there.
#pragma once

namespace dravello {

// For each of standard output and standard error that leads nowhere: when the parent process has
// a console, attach to it and reopen the stream on it. Streams that the starter redirected (a
// file, a pipe) are kept as they are. Does nothing on POSIX, where the streams are always the
// starter's. Call once, before anything is printed.
void AttachParentConsole();

}  // namespace dravello
