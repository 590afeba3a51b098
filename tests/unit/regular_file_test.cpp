// The one way the program opens a file for reading: regular files (through links too) open in
// blocking mode with their size; FIFOs, devices, sockets and folders are refused without
// waiting; a missing file says so.

#include "platform/regular_file.h"
#include "tests/unit/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;

class RegularFileTest : public test::SandboxTest {};

TEST_F(RegularFileTest, OnlyRegularFilesOpen) {
    test::writeFileBytes(path("plain.wav"), {1, 2, 3, 4, 5});
    fs::create_symlink(path("plain.wav"), path("link.wav"));
    ASSERT_EQ(::mkfifo(path("fifo.wav").c_str(), 0600), 0);
    fs::create_directory(path("folder.wav"));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = path("socket.wav").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    struct Case {
        std::string path;
        OpenFailure failure;
    };
    for (const Case& c :
         {Case{path("plain.wav"), OpenFailure::None}, Case{path("link.wav"), OpenFailure::None},
          Case{path("fifo.wav"), OpenFailure::NotRegular},
          Case{path("folder.wav"), OpenFailure::NotRegular},
          Case{socketPath, OpenFailure::NotRegular}, Case{"/dev/zero", OpenFailure::NotRegular},
          Case{path("missing.wav"), OpenFailure::Missing},
          Case{path("plain.wav/below"), OpenFailure::Missing}}) {
        SCOPED_TRACE(c.path);
        const OpenedFile opened = openRegularFile(c.path);
        EXPECT_EQ(opened.failure, c.failure);
        EXPECT_EQ(opened.descriptor.valid(), c.failure == OpenFailure::None);
        if (!opened.ok())
            continue;
        EXPECT_EQ(opened.size, 5u);
        EXPECT_EQ(::fcntl(opened.descriptor.get(), F_GETFL) & O_NONBLOCK, 0);
        EXPECT_NE(::fcntl(opened.descriptor.get(), F_GETFD) & FD_CLOEXEC, 0);
    }
    ::close(listener);

    std::FILE* stream = openRegularFileStream(path("link.wav").string());
    ASSERT_NE(stream, nullptr);
    char bytes[8] = {};
    EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, stream), 5u);
    std::fclose(stream);
    EXPECT_EQ(openRegularFileStream(path("fifo.wav").string()), nullptr);
}

} // namespace
} // namespace velmora
