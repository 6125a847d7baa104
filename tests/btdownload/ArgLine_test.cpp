#include "components/btdownload/ArgLine.h"

#include <gtest/gtest.h>

TEST(ArgLine, TheClientsLineWithQuotedPathsAndPorts) {
  SArgLine args;
  std::string error;
  ASSERT_TRUE(
      ParseArgLine("--responsefile \"/home/a b/data/7/7.torrent\" --saveas \"/home/a b/movies/x y\""
                   " --minport 6881 --maxport 6891",
                   args, error))
      << error;
  EXPECT_EQ(args.torrentFile, "/home/a b/data/7/7.torrent");
  EXPECT_EQ(args.saveFolder, "/home/a b/movies/x y");
  EXPECT_EQ(args.minPort, 6881);
  EXPECT_EQ(args.maxPort, 6891);
}

TEST(ArgLine, NoPortChosenGivesZeroToTen) {
  SArgLine args;
  std::string error;
  ASSERT_TRUE(
      ParseArgLine("--responsefile \"t\" --saveas \"s\" --minport 0 --maxport 10", args, error));
  EXPECT_EQ(args.minPort, 0);
  EXPECT_EQ(args.maxPort, 10);
  // Without ports the system picks one.
  ASSERT_TRUE(ParseArgLine("--responsefile t --saveas s", args, error));
  EXPECT_EQ(args.minPort, 0);
  EXPECT_EQ(args.maxPort, 0);
}

TEST(ArgLine, MissingPartsAndBadPortsAreRefused) {
  SArgLine args;
  std::string error;
  EXPECT_FALSE(ParseArgLine("--saveas \"s\"", args, error));
  EXPECT_NE(error.find("--responsefile"), std::string::npos);
  EXPECT_FALSE(ParseArgLine("--responsefile \"t\"", args, error));
  EXPECT_NE(error.find("--saveas"), std::string::npos);
  EXPECT_FALSE(ParseArgLine("--responsefile \"t\" --saveas", args, error));
  EXPECT_FALSE(ParseArgLine("--responsefile t --saveas s --minport 70000", args, error));
  EXPECT_FALSE(ParseArgLine("--responsefile t --saveas s --minport 12x", args, error));
  EXPECT_FALSE(ParseArgLine("", args, error));
}

TEST(ArgLine, SplitKeepsQuotedBlanksAndEmptyQuotes) {
  EXPECT_EQ(SplitArgLine("  a \"b c\"  d\"e f\" \"\" "),
            (std::vector<std::string>{"a", "b c", "de f", ""}));
}

TEST(ArgLine, QuotedEscapesAndLiteralBackslashes) {
  SArgLine args;
  std::string error;
  // The client writes " as \" and \ as \\ inside quotes.
  ASSERT_TRUE(
      ParseArgLine(R"(--responsefile "/d/7.torrent" --saveas "/m/say \"hi\"\\x \\")", args, error))
      << error;
  EXPECT_EQ(args.saveFolder, R"(/m/say "hi"\x \)");
  // Any other backslash is literal, as older clients wrote it; outside quotes too.
  EXPECT_EQ(SplitArgLine(R"("a\b\n" c\"d)"), (std::vector<std::string>{R"(a\b\n)", R"(c\d)"}));
  EXPECT_EQ(SplitArgLine(R"("end\")"), (std::vector<std::string>{R"(end")"}));
}

TEST(ArgLine, TheRateLimitComesLastAndMayBeMissing) {
  SArgLine args;
  std::string error;
  const std::string line = "--responsefile t --saveas s --minport 1 --maxport 11";
  ASSERT_TRUE(ParseArgLine(line + " --ratelimit 5120", args, error)) << error;
  EXPECT_EQ(args.rateLimitKB, 5120);
  // Older clients do not send it: unlimited, as 0 is.
  ASSERT_TRUE(ParseArgLine(line, args, error));
  EXPECT_EQ(args.rateLimitKB, 0);
  ASSERT_TRUE(ParseArgLine(line + " --ratelimit 2147483647", args, error));
  EXPECT_EQ(args.rateLimitKB, 0);  // beyond what libtorrent counts: no limit
  EXPECT_FALSE(ParseArgLine(line + " --ratelimit -1", args, error));
  EXPECT_NE(error.find("-1"), std::string::npos);
  EXPECT_FALSE(ParseArgLine(line + " --ratelimit fast", args, error));
}
