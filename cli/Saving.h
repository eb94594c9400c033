#pragma once

// What mirel-cli does with what a decode or open got back, and with its own streams: standard
// input as the picture, standard output (and the like) as an output.

#include "BinaryFile.h"
#include "CliOptions.h"
#include "Protection.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mirel::cli {

// Whether something (also a dangling link) is at path, and whether a folder is.
bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);

// Says what a protection that did not succeed means; returns its exit status.
int ProtectionProblem(ProtectStatus status);

// Says that the file at path is replaced only with --force, and what replacing it would lose.
// Returns the exit status of the refusal.
int RefuseToReplace(const std::string& path);

// Writes data to path (a stream for "-", /dev/stdout and the like) unless a file is there and
// force is false. The file is replaced only once the new one is complete, keeping what was its own
// where it can; a link there is replaced, not followed. Returns an exit status.
int SaveTo(const std::string& path, std::string_view data, bool force);

// Refuses, before anything is decoded, an --output that could not take the result anyway.
// Returns an exit status.
int CheckOutput(const Options& options);

// Shows or saves what was hidden: a message on standard output (on a terminal with a final line
// break) or at --output, a file under its stored name (always a file name in the folder) or at
// --output. Returns an exit status.
int Present(const Options& options, uint8_t kind, std::string_view text);

// Presents what a decode or open recovered. Without a password a sealed box is saved as it is (as
// the file that stored holds, when given) only where --output asks for it. Returns an exit status.
int PresentRecovered(const Options& options, Recovered& recovered, const std::string& stored = {});

// True when path names standard input.
bool IsStandardInput(const std::string& path);

// A picture on standard input, for decode, info and encode: a file behind it is read in place; a
// pipe is read into spool first (at most 1 GiB), so that the picture can be looked at before it is
// read. Sets options.picture to what is read and options.pictureShown. Returns an exit status.
int TakeStandardInput(Options& options, BinaryFile& spool);

}  // namespace mirel::cli
