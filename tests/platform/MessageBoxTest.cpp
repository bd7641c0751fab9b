#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <string>

#include <gtest/gtest.h>

#include "platform/MessageBox.h"

using namespace velmora;

namespace {

// Reads what is available on fd within the timeout, appending to text; false on timeout or end.
bool readSome(int fd, std::string& text, int timeoutMs) {
  pollfd entry{fd, POLLIN, 0};
  if (poll(&entry, 1, timeoutMs) <= 0) return false;
  char buffer[1024];
  const ssize_t count = read(fd, buffer, sizeof buffer);
  if (count <= 0) return false;
  text.append(buffer, static_cast<size_t>(count));
  return true;
}

// Runs showMessageBox with standard output and standard error on pipes (so nothing is a
// terminal, whatever the test runner's input is) and returns what each received.
void captureMessageBox(const std::string& text, const std::string& caption, std::string& out,
                       std::string& err) {
  int outPipe[2];
  int errPipe[2];
  ASSERT_EQ(pipe(outPipe), 0);
  ASSERT_EQ(pipe(errPipe), 0);
  std::cout.flush();
  const int savedOut = dup(1);
  const int savedErr = dup(2);
  dup2(outPipe[1], 1);
  dup2(errPipe[1], 2);
  showMessageBox(text, caption);
  std::cout.flush();
  dup2(savedOut, 1);
  dup2(savedErr, 2);
  close(savedOut);
  close(savedErr);
  close(outPipe[1]);
  close(errPipe[1]);
  while (readSome(outPipe[0], out, 0)) {
  }
  while (readSome(errPipe[0], err, 0)) {
  }
  close(outPipe[0]);
  close(errPipe[0]);
}

}  // namespace

TEST(MessageBoxTest, WithoutTerminalFramesTheTextOnStandardErrorOnly) {
  std::string out;
  std::string err;
  const auto start = std::chrono::steady_clock::now();
  captureMessageBox("everything went fine\nsecond line", "caption", out, err);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(out, "");
  EXPECT_EQ(err,
            "+- caption ------------+\n"
            "| everything went fine |\n"
            "| second line          |\n"
            "+----------------------+\n");
}

TEST(MessageBoxTest, ControlCharactersCannotReachTheTerminal) {
  std::string out;
  std::string err;
  captureMessageBox("a\x1b[2Jb\r\n\tc", "x\ny\x07", out, err);
  EXPECT_EQ(err,
            "+- x y? -+\n"
            "| a?[2Jb |\n"
            "|  c     |\n"
            "+--------+\n");
}

// On a terminal the box goes to standard output and the call returns only after Enter.
TEST(MessageBoxTest, OnTerminalWaitsForEnter) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string terminal = ptsname(master);
  std::cout.flush();
  std::cerr.flush();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int slave = open(terminal.c_str(), O_RDWR);
    if (slave < 0) _exit(2);
    dup2(slave, 0);
    dup2(slave, 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    showMessageBox("hello", "title");
    std::cout << "RETURNED" << std::flush;
    _exit(0);
  }
  std::string seen;
  while (seen.find("Enter") == std::string::npos && readSome(master, seen, 5000)) {
  }
  EXPECT_NE(seen.find("| hello  |"), std::string::npos) << seen;
  // Still waiting: nothing after the prompt yet.
  EXPECT_FALSE(readSome(master, seen, 200));
  EXPECT_EQ(seen.find("RETURNED"), std::string::npos);
  ASSERT_EQ(write(master, "\n", 1), 1);
  while (seen.find("RETURNED") == std::string::npos && readSome(master, seen, 5000)) {
  }
  EXPECT_NE(seen.find("RETURNED"), std::string::npos) << seen;
  int status = 0;
  if (seen.find("RETURNED") == std::string::npos) kill(child, SIGKILL);
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(master);
}
