#pragma once
#include <string>
#include <vector>

// What the client's argument line asks for:
// --responsefile "<torrent>" --saveas "<folder>" --minport N --maxport N [--ratelimit KB/s]
// [--service "host:port"] [--tracker "host:port"]
struct SArgLine {
  std::string torrentFile;
  std::string saveFolder;
  int minPort = 0;
  int maxPort = 0;
  int rateLimitKB = 0;  // 0: unlimited, also when the client does not send it
  std::string service;  // "host:port" of the service the torrent came from
  // "host:port" of a tracker on this machine the client trusts; its announces
  // are let through although it is neither the service nor off the machine.
  std::string tracker;
};

// Words separated by blanks; a double-quoted part keeps its blanks. Inside
// quotes \" stands for " and \\ for \; any other backslash is itself, so lines
// from clients that did not escape keep their paths.
std::vector<std::string> SplitArgLine(const std::string& line);
// False with a reason when the torrent or the folder is missing or a number is bad.
bool ParseArgLine(const std::string& line, SArgLine& out, std::string& error);
