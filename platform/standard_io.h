// Standard input and output of the CGI process, and their few operations.
#ifndef OSTREL_PLATFORM_STANDARD_IO_H_
#define OSTREL_PLATFORM_STANDARD_IO_H_

#include <chrono>
#include <cstddef>
#include <string_view>

namespace ostrel {

// A descriptor borrowed from the process; never closed by the program.
struct FileHandle {
  int descriptor = -1;
};

FileHandle StandardInputHandle();
FileHandle StandardOutputHandle();

// Reads into `buffer` until `count` bytes have arrived or the input ends or
// fails, however many pieces they come in; never more than `count`. Returns
// the number of bytes read. Raises a timeout error (ETIMEDOUT) when
// `time_limit` passes first, so that a writer that keeps the input open
// without sending cannot hold the process.
size_t ReadUpTo(FileHandle handle, char* buffer, size_t count,
                std::chrono::milliseconds time_limit);

// Writes every byte, continuing short writes. Always makes at least one
// write(2), even for no bytes. Returns false when a write fails.
bool WriteAll(FileHandle handle, std::string_view bytes);

// Moves the position to byte 0; fails (false) on a pipe.
bool RewindToStart(FileHandle handle);

// Ends the file at the current position; fails (false) on a pipe.
bool TruncateAtCurrentPosition(FileHandle handle);

// A write to a reader that has gone then fails with EPIPE instead of ending
// the process.
void IgnoreBrokenPipe();

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_STANDARD_IO_H_
