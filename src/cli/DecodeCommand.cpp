// `tavloctl decode`: shows one received chunk exactly as the panel's receive log would.
#include "CliCommands.h"
#include "Cp936.h"
#include "DeviceStatus.h"
#include "ReplyDecoder.h"
#include "ReplyFrame.h"
#include "StateDocument.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

namespace {

struct DecodeOptions {
    std::string file = "-";
    bool hex = false;
    bool json = false;
};

// Reads at most limit + 1 bytes so that an oversized input can be told apart.
std::vector<uint8_t> readInput(const std::string& file, size_t limit)
{
    std::ifstream stream;
    std::istream* in = &std::cin;
    if (file != "-") {
        // A directory opens as a stream that reads nothing: it would pass for an empty chunk.
        const QFileInfo info(QString::fromStdString(file));
        if (!info.exists())
            throw UsageError{"cannot read " + file + ": there is no such file"};
        if (info.isDir())
            throw UsageError{"cannot read " + file + ": it is a directory, not a file"};
        stream.open(file, std::ios::binary);
        if (!stream)
            throw UsageError{"cannot open " + file};
        in = &stream;
    }
    std::vector<uint8_t> bytes(limit + 1);
    in->read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in->gcount()));
    return bytes;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<uint8_t> parseHex(const std::vector<uint8_t>& text)
{
    std::vector<uint8_t> bytes;
    int high = -1;
    for (uint8_t c : text) {
        if (std::isspace(c))
            continue;
        const int value = hexValue(static_cast<char>(c));
        if (value < 0)
            throw UsageError{std::string("not a hexadecimal digit: '") + static_cast<char>(c) +
                             "'"};
        if (high < 0) {
            high = value;
            continue;
        }
        bytes.push_back(static_cast<uint8_t>(high * 16 + value));
        high = -1;
    }
    if (high >= 0)
        throw UsageError{"odd number of hexadecimal digits"};
    return bytes;
}

std::vector<uint8_t> readChunk(const DecodeOptions& options)
{
    // Hex text takes about three characters a byte; read enough of it, then check the bytes.
    const size_t textLimit = options.hex ? kMaxChunkSize * 4 : kMaxChunkSize;
    std::vector<uint8_t> input = readInput(options.file, textLimit);
    if (options.hex && input.size() > textLimit)
        throw UsageError{"input larger than a chunk (16384 bytes)"};
    std::vector<uint8_t> chunk = options.hex ? parseHex(input) : std::move(input);
    if (chunk.size() > kMaxChunkSize)
        throw UsageError{"input larger than a chunk (16384 bytes)"};
    return chunk;
}

void writeOut(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

int runDecode(const DecodeOptions& options)
{
    const std::vector<uint8_t> chunk = readChunk(options);
    auto status = std::make_unique<DeviceStatus>();
    ResetDeviceStatus(*status);
    std::string text = DecodeChunk(*status, chunk);
    if (options.json) {
        writeOut(QJsonDocument(StateDocument(*status)).toJson(QJsonDocument::Indented));
        return ExitOk;
    }
    if (!text.empty())
        text += "\r\n";
    writeOut(DecodeCp936(text).toUtf8());
    return ExitOk;
}

} // namespace

void RegisterDecodeCommand(CLI::App& app, CliContext& context)
{
    auto options = std::make_shared<DecodeOptions>();
    CLI::App* decode = app.add_subcommand(
        "decode", "Decode one received chunk (at most 16384 bytes) and print what the panel's "
                  "receive log shows for it: frames as their text, anything else as plain text. "
                  "Text is decoded as code page 936 and written as UTF-8.");
    decode->add_option("FILE", options->file, "file holding the chunk; '-' or none: standard input")
        ->option_text("[FILE]");
    decode->add_flag("--hex", options->hex, "the input is hexadecimal text (white space ignored)");
    decode->add_flag("--json", options->json,
                     "print the state document that status --json prints, as this chunk leaves "
                     "it (what the chunk does not carry is null), instead of the text");
    decode->callback([options, &context] { context.exitCode = runDecode(*options); });
}
