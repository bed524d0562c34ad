#include "app/BatchReport.hpp"

#include <boost/format.hpp>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace marrowvale {

namespace {

// Length of the well-formed UTF-8 sequence at `at`, or 0.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80;  // bounds of the second byte: no overlong forms,
    unsigned char high = 0xBF; // no surrogates, nothing past U+10FFFF
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

const char* FormatName(const SampleCoding& coding) {
    return coding.floating ? "\"float\"" : "\"int\"";
}

} // namespace

std::string JsonString(const std::string& bytes) {
    std::string json = "\"";
    for (std::size_t at = 0; at < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = Utf8Length(bytes, at);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c == '\n') {
            json += "\\n";
        } else if (c == '\t') {
            json += "\\t";
        } else if (c < 0x20 || c == 0x7F || length == 0) {
            json += (boost::format(length == 0 ? "\\udc%02x" : "\\u%04x") % unsigned{c}).str();
        } else {
            json.append(bytes, at, length);
            at += length;
            continue;
        }
        ++at;
    }
    return json + "\"";
}

std::string ReportLine(const ReportRecord& record) {
    const auto text = [](const std::string& value) {
        return value.empty() ? std::string("null") : JsonString(value);
    };
    const FileFacts& facts = record.facts;
    const auto number = [&facts](auto value) {
        return facts.known ? std::to_string(value) : std::string("null");
    };
    std::string line = "{\"input\":" + JsonString(record.input) +
                       ",\"output\":" + text(record.output) + ",\"status\":\"" + record.status +
                       "\",\"reason\":" + text(record.reason);
    line +=
        ",\"rate_in\":" + number(facts.input_rate) + ",\"rate_out\":" + number(facts.output_rate) +
        ",\"bits_in\":" + number(facts.input.bits) + ",\"bits_out\":" + number(facts.output.bits) +
        ",\"format_in\":" + (facts.known ? FormatName(facts.input) : "null") +
        ",\"format_out\":" + (facts.known ? FormatName(facts.output) : "null") +
        ",\"channels\":" + number(facts.channels) + ",\"frames_in\":" + number(facts.input_frames) +
        ",\"frames_out\":" + number(facts.output_frames) +
        ",\"clipped\":" + number(facts.clipped_samples) +
        ",\"nonfinite\":" + number(facts.non_finite_samples);
    line += (boost::format(",\"seconds\":%.3f}\n") % record.seconds).str();
    return line;
}

BatchReport::BatchReport(const std::string& report_path) : path(report_path) {
    descriptor = path == "-" ? STDOUT_FILENO
                             : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        throw std::runtime_error("cannot create the report \"" + path +
                                 "\": " + std::strerror(errno));
    }
}

BatchReport::~BatchReport() {
    if (descriptor != STDOUT_FILENO) {
        ::close(descriptor);
    }
}

void BatchReport::Write(const ReportRecord& record) {
    const std::string line = ReportLine(record);
    const std::lock_guard<std::mutex> lock(mutex);
    if (!failure.empty()) {
        return;
    }
    // One call for the whole line; a short write (a full disk) goes on where
    // it stopped.
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t written = ::write(descriptor, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            failure = std::string("writing the report \"") + path +
                      "\" failed: " + std::strerror(written < 0 ? errno : ENOSPC);
            return;
        }
        done += static_cast<std::size_t>(written);
    }
}

std::string BatchReport::Failure() const {
    const std::lock_guard<std::mutex> lock(mutex);
    return failure;
}

} // namespace marrowvale
