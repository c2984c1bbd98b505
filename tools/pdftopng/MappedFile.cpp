#include "MappedFile.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

MappedFile::MappedFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        openError = errno;
        return;
    }
    struct stat info = {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0
        && info.st_size <= INT_MAX) {
        void* address = ::mmap(nullptr, std::size_t(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (address != MAP_FAILED) {
            bytes = static_cast<char*>(address);
            size = std::size_t(info.st_size);
        }
    }
    ::close(fd);
}

MappedFile::~MappedFile()
{
    if (bytes)
        ::munmap(bytes, size);
}

Document openDocument(const MappedFile& file, const std::string& path)
{
    if (file.data())
        return Document(poppler::document::load_from_raw_data(file.data(), file.length()));
    return Document(poppler::document::load_from_file(path));
}
