#include "LibraryName.h"

#include <gtest/gtest.h>

#include "GbkText.h"
#include "MovieKinds.h"
#include "NfoReader.h"

namespace zenu::test {
namespace {

TEST(LibraryNameTest, TitlesAndYearsOfTheCommonNamingStyles) {
  struct Case {
    const char* path;
    const char* title;
    int year;
  } cases[] = {
      {"The Matrix (1999).mkv", "The Matrix", 1999},
      {"Hot.Fuzz.2007.1080p.BluRay.x264-GROUP.mkv", "Hot Fuzz", 2007},
      {"Blade Runner 2049 (2017).mkv", "Blade Runner 2049", 2017},
      {"1917 (2019).mp4", "1917", 2019},
      {"Inception (2010)/movie.mp4", "Inception", 2010},
      {"Heat [1995]/heat.720p.mkv", "Heat", 1995},
      {"[电影天堂www.dytt8.net]霸王别姬.1993.BD1080p.中英双字.mkv", "霸王别姬", 1993},
      {"【高清】卧虎藏龙 Crouching Tiger Hidden Dragon (2000).mkv", "卧虎藏龙", 2000},
      {"Some_Old_Film.DVDRip.XviD.avi", "Some Old Film", 0},
      {"Up.2009.REMUX.1920x1080.mkv", "Up", 2009},
      {"Drama/Mr. Smith Goes Home (1939).avi", "Mr. Smith Goes Home", 1939},
  };
  for (const Case& c : cases) {
    NameGuess g = LibraryName::Guess(c.path);
    EXPECT_EQ(g.title, c.title) << c.path;
    EXPECT_EQ(g.year, c.year) << c.path;
  }
}

TEST(LibraryNameTest, FilesAndFoldersThatAreNotFilms) {
  EXPECT_TRUE(LibraryName::IsVideo("a.MKV"));
  EXPECT_FALSE(LibraryName::IsVideo("readme.txt"));
  EXPECT_FALSE(LibraryName::IsVideo("poster.jpg"));
  EXPECT_TRUE(LibraryName::IsVideo("Film.RmVb"));
  EXPECT_FALSE(LibraryName::IsVideo("VTS_01_1.VOB"));
  EXPECT_FALSE(LibraryName::IsVideo("film.rm"));
  EXPECT_TRUE(LibraryName::IsSample("Film (2001)/Sample/film.mkv"));
  EXPECT_TRUE(LibraryName::IsSample("film-sample.mkv"));
  EXPECT_TRUE(LibraryName::IsSample("Film.2001.SAMPLE.mkv"));
  EXPECT_FALSE(LibraryName::IsSample("Samples of Life (2001).mkv"));
  EXPECT_FALSE(LibraryName::IsSample("Free.Samplers.2001.mkv"));
  EXPECT_TRUE(LibraryName::IsSample("Heat.1995.Trailer2.1080p.mkv"));
  EXPECT_TRUE(LibraryName::IsSample("Heat (1995)/Trailers/heat.mkv"));
  EXPECT_FALSE(LibraryName::IsSample("Trailerblazers.2006.mkv"));
  EXPECT_EQ(LibraryName::FolderKinds("Sci-Fi/科幻片/x/Film (2001).mkv"), std::vector<int>{4});
  EXPECT_EQ(LibraryName::FolderKinds("Comedy/Horror/Film (2001).mkv"), (std::vector<int>{2, 5}));
  // Names that cannot go into a URL as they are get one made from the content.
  EXPECT_EQ(LibraryName::ServedName("The Matrix (1999).mkv", "ab"), "The.Matrix.(1999).mkv");
  EXPECT_EQ(LibraryName::ServedName("霸王别姬.MKV", "0123456789abcdef"), "movie_0123456789ab.mkv");
  EXPECT_EQ(LibraryName::ServedName("a\"b<c>&'%?#.mp4", "k"), "abc.mp4");
  EXPECT_EQ(LibraryName::SafeTitle("Ocean's \"Eleven\" AC/DC\\x\t"), "Ocean’s ”Eleven” AC／DC＼x");
  EXPECT_EQ(LibraryName::SafeTitle(".."), "．.");
  std::string longTitle =
      LibraryName::SafeTitle(std::string(151, 'a') + "中文中文中文中文中文中文中文中文中文");
  EXPECT_EQ(longTitle.size(), 199u);
  EXPECT_TRUE(GbkText::IsValidUtf8(longTitle));
}

TEST(LibraryNameTest, GenresInEnglishAndChineseAndNfoFiles) {
  EXPECT_EQ(MovieKinds::FromGenre("Science Fiction"), 4);
  EXPECT_EQ(MovieKinds::FromGenre("sci-fi"), 4);
  EXPECT_EQ(MovieKinds::FromGenre("科幻片"), 4);
  EXPECT_EQ(MovieKinds::FromGenre("纪录片"), 10);
  EXPECT_EQ(MovieKinds::FromGenre("Thriller"), 8);
  EXPECT_EQ(MovieKinds::FromGenre("Western"), std::nullopt);
  auto nfo = NfoReader::Parse(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><movie><title> 卧虎藏龙 </title>"
      "<year>2000</year><genre>Action / Romance</genre><genre>剧情</genre><genre>Western</genre>"
      "<plot>江湖恩怨。</plot></movie>");
  ASSERT_TRUE(nfo);
  EXPECT_EQ(nfo->title, "卧虎藏龙");
  EXPECT_EQ(nfo->year, 2000);
  EXPECT_EQ(nfo->kinds, (std::vector<int>{1, 3, 6}));
  EXPECT_EQ(nfo->plot, "江湖恩怨。");
  EXPECT_FALSE(NfoReader::Parse("https://www.imdb.com/title/tt0190332/"));
  nfo = NfoReader::Parse("<movie><premiered>1994-09-23</premiered><title>\xff\xfe</title></movie>");
  ASSERT_TRUE(nfo);
  EXPECT_EQ(nfo->year, 1994);
  EXPECT_EQ(nfo->title, "");
}

}  // namespace
}  // namespace zenu::test
