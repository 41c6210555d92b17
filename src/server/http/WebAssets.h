#pragma once
// The page's files, built into the program as Qt resources under ":/web": nothing is fetched
// from elsewhere, so the page works on a network without internet. Each answer carries its
// validator, so a browser that has a file asks for it again in a few bytes.
#include "HttpRequest.h"
#include "HttpResponse.h"

#include <optional>

class WebAssets {
public:
    // The file the path names ("/" is the page), or nothing when there is no such file.
    std::optional<HttpResponse> Serve(const HttpRequest& request) const;
};
