// The codes the engine reports with its messages (callback action 4). Only the low byte is
// meaningful to the caller; 0 marks plain information. The numbers follow the long-standing
// zip tool convention so that they read the same to anyone who knows it.
#pragma once

namespace dravello::zipengine {

inline constexpr int kInfo = 0;
inline constexpr int kErrFormat = 3;         // the existing archive is not a zip archive
inline constexpr int kErrMemory = 4;         // memory exhausted
inline constexpr int kErrInternal = 5;       // anything unexpected
inline constexpr int kErrAborted = 9;        // the caller asked to stop
inline constexpr int kErrTempFile = 10;      // the temporary archive could not be made or moved
inline constexpr int kErrRead = 11;          // the existing archive could not be read
inline constexpr int kErrNothingToDo = 12;   // no file to store
inline constexpr int kErrWrite = 14;         // writing the archive failed
inline constexpr int kErrCreate = 15;        // the archive could not be created
inline constexpr int kErrBadCommand = 16;    // the command record is unusable
inline constexpr int kWarnNotFound = 18;     // a file specification named nothing
inline constexpr int kWarnSkipped = 18;      // a file was left out (unreadable, special, changed)

}  // namespace dravello::zipengine
