// Writing a file the instrument is given by name (a render, a saved state, the preferences)
// without ever replacing what is not ours to replace: a symbolic link is followed and its target
// replaced atomically through a temporary file beside it; a device or a FIFO (/dev/null,
// /dev/stdout) is written directly; a folder or a socket is refused. Temporary files are named
// ".NAME.tmp.PID" beside the target; those left by a process that was killed are removed the
// next time the same file is written.
#pragma once

#include <string>

namespace TW
{

struct OutputFile
{
    // The file that is replaced (the destination, or the last target of its symbolic links),
    // or the device that is written.
    std::string target;
    // True for a device or a FIFO: written in place, never replaced.
    bool direct = false;
    // The temporary file beside target; empty when direct.
    std::string temporary;
};

// Any thread but the render thread. Works out where destination is written. False with a
// one-line reason in error for a folder, a socket, a loop of links or an empty name.
bool ResolveOutputFile(const std::string& destination, OutputFile& out, std::string& error);

// Opens what ResolveOutputFile found for writing: the device (without blocking on a FIFO that
// has no reader: refused), or a new temporary file (stale temporaries of the same target
// removed first). Returns the descriptor, or -1 with a reason in error.
int OpenOutputFile(const OutputFile& file, std::string& error);

// Puts the finished temporary file in place of the target (nothing to do for a device). False
// with a reason in error; the temporary file is removed then.
bool CommitOutputFile(const OutputFile& file, std::string& error);

// Removes the temporary file of an unfinished write, if any.
void DiscardOutputFile(const OutputFile& file) noexcept;

// Whether both names lead to one existing file (the same device and inode).
bool SameExistingFile(const std::string& a, const std::string& b) noexcept;

} // namespace TW
