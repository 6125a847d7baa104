#include "DemoVideo.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "ProgramPath.h"

extern char** environ;

namespace zenu {
namespace {

int Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string DemoVideo::FindTool() { return FindProgram("ffmpeg"); }

bool DemoVideo::Make(const std::string& tool, const std::string& title, const std::string& path) {
  namespace fs = std::filesystem;
  // The title goes through a file: no quoting of the filter text to get wrong.
  const std::string titleFile = path + ".title.txt";
  {
    std::ofstream out(titleFile, std::ios::binary | std::ios::trunc);
    out << title;
    if (!out) return false;
  }
  const std::string filter = "drawtext=font='Noto Sans CJK SC':textfile='" + titleFile +
                             "':fontsize=40:fontcolor=white:box=1:boxcolor=black@0.55:boxborderw=16"
                             ":x=(w-text_w)/2:y=(h-text_h)/2";
  const int rc = Run({tool,
                      "-nostdin",
                      "-loglevel",
                      "error",
                      "-y",
                      "-f",
                      "lavfi",
                      "-i",
                      "testsrc2=size=480x270:rate=15:duration=4",
                      "-f",
                      "lavfi",
                      "-i",
                      "sine=frequency=440:duration=4",
                      "-vf",
                      filter,
                      "-c:v",
                      "libx264",
                      "-preset",
                      "ultrafast",
                      "-b:v",
                      "4000k",
                      "-pix_fmt",
                      "yuv420p",
                      "-c:a",
                      "aac",
                      "-b:a",
                      "96k",
                      "-shortest",
                      "-movflags",
                      "+faststart",
                      "-f",
                      "mp4",
                      path});
  std::error_code ec;
  fs::remove(titleFile, ec);
  if (rc == 0 && fs::file_size(path, ec) > 0 && !ec) return true;
  fs::remove(path, ec);
  return false;
}

}  // namespace zenu
