#include "ResumeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/write_resume_data.hpp>
#include <sstream>

namespace {
// Far above what any torrent's resume data needs; a larger file is not ours.
constexpr std::streamoff kMaxFileBytes = 16 << 20;

// Size and modification time of every file of the torrent, as the disk has them.
lt::entry FileStamps(const lt::torrent_info& info, const std::string& savePath) {
  lt::entry::list_type stamps;
  const lt::file_storage& files = info.files();
  for (const lt::file_index_t i : files.file_range()) {
    if (files.pad_file_at(i)) continue;
    struct stat st {};
    lt::entry::list_type stamp;
    if (::stat(files.file_path(i, savePath).c_str(), &st) == 0) {
      stamp = {lt::entry(st.st_size), lt::entry(st.st_mtim.tv_sec), lt::entry(st.st_mtim.tv_nsec)};
    } else {
      stamp = {lt::entry(std::int64_t{-1})};
    }
    stamps.emplace_back(std::move(stamp));
  }
  return stamps;
}

std::string Bencoded(const lt::entry& e) {
  std::string out;
  lt::bencode(std::back_inserter(out), e);
  return out;
}

std::string Checksum(lt::span<const char> resume, lt::span<const char> stamps,
                     const std::string& identity) {
  lt::hasher h(resume);
  h.update(stamps);
  h.update(identity);
  return h.final().to_string();
}

// The torrent and the target the data belongs to.
std::string Identity(const lt::torrent_info& info, const std::string& savePath) {
  return info.info_hashes().get_best().to_string() + savePath;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
  // Made afresh: a link planted in its place goes, and is never written through.
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == bytes.size() && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}
}  // namespace

CResumeFile::CResumeFile(const std::string& torrentFile) {
  const std::filesystem::path torrent(torrentFile);
  m_path = (torrent.parent_path() / torrent.stem()).string() + ".resume";
}

bool CResumeFile::Load(lt::add_torrent_params& params, std::string& why) const {
  std::ifstream in(m_path, std::ios::binary);
  if (!in) {
    why = "no resume data";
    return false;
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0);
  std::string bytes(static_cast<size_t>(std::max<std::streamoff>(0, std::min(size, kMaxFileBytes))),
                    '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  why = "resume data unreadable";
  if (size > kMaxFileBytes || !in) return false;

  lt::error_code ec;
  const lt::bdecode_node root = lt::bdecode(bytes, ec);
  if (ec || root.type() != lt::bdecode_node::dict_t) return false;
  const lt::bdecode_node resume = root.dict_find_dict("resume");
  const lt::bdecode_node stamps = root.dict_find_list("files");
  if (!resume || !stamps) return false;
  const lt::torrent_info& info = *params.ti;
  if (root.dict_find_string_value("check") !=
      Checksum(resume.data_section(), stamps.data_section(), Identity(info, params.save_path))) {
    why = "resume data corrupt or of another download";
    return false;
  }
  const lt::span<const char> savedStamps = stamps.data_section();
  if (Bencoded(FileStamps(info, params.save_path)) !=
      std::string(savedStamps.data(), static_cast<size_t>(savedStamps.size()))) {
    why = "files changed since";
    return false;
  }
  const lt::add_torrent_params saved = lt::read_resume_data(resume, ec, info.num_pieces());
  if (ec) return false;

  // Only what is on disk is taken; how the download runs is this start's choice.
  params.have_pieces = saved.have_pieces;
  params.have_pieces.resize(info.num_pieces(), false);
  params.unfinished_pieces.clear();
  const int blocks = (info.piece_length() + lt::default_block_size - 1) / lt::default_block_size;
  for (const auto& [piece, done] : saved.unfinished_pieces) {
    if (piece >= lt::piece_index_t(0) && piece < info.end_piece() && done.size() <= blocks)
      params.unfinished_pieces.emplace(piece, done);
  }
  why.clear();
  return true;
}

bool CResumeFile::Save(lt::add_torrent_params params, const lt::torrent_info& info,
                       const std::string& savePath) const {
  // Load() takes only the pieces; the hash trees (a megabyte for a large
  // torrent) come from the torrent file again.
  params.merkle_trees.clear();
  params.merkle_tree_mask.clear();
  params.verified_leaf_hashes.clear();
  const std::string resume = Bencoded(lt::write_resume_data(params));
  const std::string stamps = Bencoded(FileStamps(info, savePath));
  lt::entry file(lt::entry::dictionary_t);
  // Kept as bencoded text so that the checksum covers exactly these bytes.
  file["resume"] = lt::bdecode(resume);
  file["files"] = lt::bdecode(stamps);
  file["check"] = Checksum(resume, stamps, Identity(info, savePath));
  const std::string temp = m_path + ".tmp";
  if (!WriteWhole(temp, Bencoded(file)) || std::rename(temp.c_str(), m_path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

void CResumeFile::Remove() const { std::remove(m_path.c_str()); }
