#pragma once

#include <poppler-document.h>

#include <cstddef>
#include <memory>
#include <string>

// The PDF's bytes, mapped once and shared, read-only, by the documents of all workers: read
// from a file, Poppler fetches streams in pieces of 256 bytes, a system call each, and every
// band fetches its page's streams anew. Empty when the file cannot be mapped (or is too large
// for Poppler's in-memory documents); the documents then read the file. The pages read count
// in the tool's resident memory but are the page cache's, clean and shared. A file cut short
// while it is mapped ends the tool with SIGBUS, which leaves no page image half-written.
class MappedFile
{
public:
    explicit MappedFile(const std::string& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const char* data() const { return bytes; }
    int length() const { return int(size); }
    // Why the file could not be opened; 0 when it could.
    int error() const { return openError; }

private:
    char* bytes = nullptr;
    std::size_t size = 0;
    int openError = 0;
};

using Document = std::unique_ptr<poppler::document>;

// A document of the mapped bytes, or of the file where they are not mapped; none when it is
// no PDF.
Document openDocument(const MappedFile& file, const std::string& path);
