#pragma once
// Whether bytes that reached the raw or the JSON endpoint are a browser's HTTP request. A page
// of any site may send a "simple" POST to a loopback port without asking first; the browser
// then writes its request line and headers before the body, and those endpoints must refuse
// the connection rather than take the body's lines as commands.
#include <QByteArrayView>

// "POST / HTTP/1.1", "GET /x?y HTTP/1.0", "OPTIONS * HTTP/1.1".
bool LooksLikeHttpRequestLine(QByteArrayView line);
// "Host: 127.0.0.1:4002", "content-type:text/plain".
bool LooksLikeHttpHeaderLine(QByteArrayView line);
// The start of a request: a method and a path, or a Host header on any of its lines.
bool LooksLikeHttpRequest(QByteArrayView bytes);
