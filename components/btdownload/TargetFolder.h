#pragma once
#include <libtorrent/file_storage.hpp>
#include <string>

// Makes ready the folder a download writes into. Its parent is the user's
// save folder: made when missing, links in it allowed, since the user chose
// it. The target folder itself and every folder of the torrent's files below
// it are made or opened without following a link, and a file of the torrent
// that is already there must be a plain file: a link planted there would have
// the download write wherever it points. resolved: the target with the save
// folder's links resolved, the path libtorrent is given. False with the error.
bool PrepareTargetFolder(const std::string& target, const lt::file_storage& files,
                         std::string& resolved, std::string& error);
