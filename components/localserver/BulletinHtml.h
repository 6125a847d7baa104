#pragma once
#include <json/value.h>

#include <string>

// The pages this component writes itself (as opposed to the files of the root
// folder): a movie's bulletin from the service's movie details, and short
// message pages for refusals and failures. Every text from the service is
// escaped; the page token goes into a meta tag that the page scripts read.

// & < > " ' as entities.
std::string HtmlEscape(const std::string& text);

// movie: the service's answer to /api/v1/movies/<id>; status: the movie's
// status in the user's list (0 when it is not there). The page offers only
// what the client can do with a movie in that status.
std::string RenderBulletin(const Json::Value& movie, const std::string& token, int status = 0);

// What a page says of a movie's status in the user's list ("" for none).
std::string ListStatusText(int status);

// A small page with a heading and one line of text.
std::string RenderMessagePage(const std::string& heading, const std::string& text);

// The meta tag placeholder in the root folder's pages, replaced when served.
constexpr const char* kTokenPlaceholder = "__VADEKO_TOKEN__";
