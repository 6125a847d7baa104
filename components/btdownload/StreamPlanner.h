#pragma once
#include <cstdint>
#include <string>

// The plain parts of serving a movie over HTTP while it downloads: which bytes
// a request asks for, how the file is named in its address and what players
// are told it is.
struct SByteRange {
  std::int64_t first = 0;
  std::int64_t last = 0;  // inclusive
};

enum class ERangeAnswer {
  kWhole,          // no usable Range header: the whole file
  kPart,           // one range, within the file
  kUnsatisfiable,  // a range that lies past the end of the file
};

// header: the value of a Range header ("" when there is none). Several ranges
// at once are answered with the whole file, as RFC 9110 allows.
ERangeAnswer ParseRange(const std::string& header, std::int64_t size, SByteRange& range);

// Every byte but the unreserved ones of RFC 3986 escaped, so that the name is
// one path segment whatever it holds.
std::string PercentEncode(const std::string& utf8);

// The media type of a movie file by its extension; application/octet-stream
// when it is not a known video type.
std::string VideoContentType(const std::string& fileName);

// Pieces asked for first ahead of a reader: about 8 MiB, at least 4.
int WindowPieces(int pieceBytes);
