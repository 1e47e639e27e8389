#include "vexar/timing.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace vexar {
namespace {

// Derived times are shown to the microsecond; the integration time is a setting, so it is shown
// as the module holds it (single precision, the shortest text that reads back), as vexar-ctl
// prints parameter values. The SVG is compared byte for byte across front ends, so nothing here
// may depend on the locale: std::to_chars never does.
std::string fixed(double value, int decimals) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
    }
    char buffer[64];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (error != std::errc()) return "?";
    std::string text(buffer, end);
    // A tiny negative rounds to "-0.000", which says nothing the reader could use.
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

std::string ms(double value) {
    return fixed(value, 3);
}

std::string asSetting(double value) {
    float single = static_cast<float>(value);
    if (!std::isfinite(single)) return fixed(single, 0);
    char buffer[32];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, single);
    return error == std::errc() ? std::string(buffer, end) : "?";
}

// Coordinates in the SVG: two decimals are far below a pixel and keep the file stable.
std::string px(double value) {
    return fixed(value, 2);
}

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

struct Svg {
    std::string body;

    void rect(const char* cls, double x, double y, double w, double h, const char* fill,
              const char* stroke) {
        body += "<rect class=\"" + std::string(cls) + "\" x=\"" + px(x) + "\" y=\"" + px(y) +
                "\" width=\"" + px(std::max(w, 0.0)) + "\" height=\"" + px(h) + "\" fill=\"" +
                fill + "\" stroke=\"" + stroke + "\" stroke-width=\"1\"/>\n";
    }
    void line(double x1, double y1, double x2, double y2, const char* stroke) {
        body += "<line x1=\"" + px(x1) + "\" y1=\"" + px(y1) + "\" x2=\"" + px(x2) + "\" y2=\"" +
                px(y2) + "\" stroke=\"" + stroke + "\" stroke-width=\"1\"/>\n";
    }
    void text(const char* cls, double x, double y, const char* anchor, const std::string& what,
              int size = 12) {
        body += "<text class=\"" + std::string(cls) + "\" x=\"" + px(x) + "\" y=\"" + px(y) +
                "\" text-anchor=\"" + anchor + "\" font-size=\"" + std::to_string(size) + "\">" +
                escape(what) + "</text>\n";
    }
};

constexpr double kWidth = 960;
constexpr double kLeft = 40;
constexpr double kRight = 920;
constexpr double kBarTop = 70;
constexpr double kBarHeight = 56;
constexpr double kPhaseTop = 140;
constexpr double kPhaseHeight = 22;

// Colours that read on a white page and in print; the page restyles nothing, so that the
// drawing is the same inside and outside it.
constexpr const char* kInk = "#1a1a1a";
constexpr const char* kIntegration = "#2f6db5";
constexpr const char* kIdle = "#e4e8ee";
constexpr const char* kPhase = "#9cc0e8";

}  // namespace

Timing Timing::fromSettings(double frameRate, int microFrames, double integrationTime,
                            bool dealiasing) {
    Timing timing;
    timing.microFrames = microFrames;
    timing.phasesPerMicroFrame = dealiasing ? 6 : 4;
    timing.integration = integrationTime;
    // A frame rate of 0 (the bottom of its range) or a count below one give no frame at all;
    // the zero periods say so rather than an infinity that would spread through every sum.
    if (frameRate > 0 && std::isfinite(frameRate)) timing.framePeriod = 1000.0 / frameRate;
    if (microFrames > 0) timing.microFramePeriod = timing.framePeriod / microFrames;
    timing.idle = timing.microFramePeriod - integrationTime;
    return timing;
}

std::string Timing::toText() const {
    std::string text;
    text += "frame period         " + ms(framePeriod) + " ms\n";
    text += "micro-frames         " + std::to_string(microFrames) + " of " + ms(microFramePeriod) +
            " ms\n";
    text += "phases               " + std::to_string(phasesPerMicroFrame) + " per micro-frame" +
            (phasesPerMicroFrame == 6 ? " (dealiasing on)" : " (dealiasing off)") + "\n";
    text += "integration          " + asSetting(integration) + " ms of each micro-frame\n";
    text += "idle                 " + ms(idle) + " ms of each micro-frame";
    if (idle < 0) text += " (the integration overruns the micro-frame)";
    text += "\n";
    return text;
}

std::string Timing::toSvg() const {
    const double height = 230;
    Svg svg;
    const std::string summary = "frame period " + ms(framePeriod) + " ms, " +
                                std::to_string(microFrames) + " micro-frames of " +
                                ms(microFramePeriod) + " ms, " +
                                std::to_string(phasesPerMicroFrame) + " phases each";
    svg.body += "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"timing\" width=\"" + px(kWidth) +
                "\" height=\"" + px(height) + "\" viewBox=\"0 0 " + px(kWidth) + " " + px(height) +
                "\" role=\"img\" aria-label=\"" + escape(summary) + "\">\n";
    svg.body += "<title>" + escape(summary) + "</title>\n";
    svg.rect("background", 0, 0, kWidth, height, "#ffffff", "none");
    svg.text("heading", kLeft, 24, "start", "Frame timing", 16);
    svg.text("summary", kLeft, 46, "start", summary);

    if (!(framePeriod > 0) || microFrames < 1) {
        svg.text("empty", kLeft, kBarTop + 30, "start",
                 "no frame: the frame rate is 0 or the micro-frame count below 1");
        svg.body += "</svg>\n";
        return svg.body;
    }

    const double span = kRight - kLeft;
    const double scale = span / framePeriod;
    const double microWidth = microFramePeriod * scale;
    const double integrationWidth = std::clamp(integration, 0.0, microFramePeriod) * scale;
    const double phaseWidth = integrationWidth / std::max(phasesPerMicroFrame, 1);

    for (int i = 0; i < microFrames; ++i) {
        const double x = kLeft + i * microWidth;
        svg.rect("idle", x, kBarTop, microWidth, kBarHeight, kIdle, kInk);
        svg.rect("integration", x, kBarTop, integrationWidth, kBarHeight, kIntegration, kInk);
        svg.text("micro-frame", x + microWidth / 2, kBarTop - 6, "middle",
                 "micro-frame " + std::to_string(i + 1));
        for (int p = 0; p < phasesPerMicroFrame; ++p) {
            svg.rect("phase", x + p * phaseWidth, kPhaseTop, phaseWidth, kPhaseHeight, kPhase,
                     kInk);
        }
        // Phase numbers only where they fit; the count is in the summary either way.
        if (phaseWidth >= 14) {
            for (int p = 0; p < phasesPerMicroFrame; ++p) {
                svg.text("phase-number", x + (p + 0.5) * phaseWidth, kPhaseTop + 15, "middle",
                         std::to_string(p + 1), 10);
            }
        }
    }

    // Times on the axis: every micro-frame boundary, and the integration and idle of the first
    // micro-frame, where all of them are the same.
    const double axis = kPhaseTop + kPhaseHeight + 16;
    svg.line(kLeft, axis, kRight, axis, kInk);
    for (int i = 0; i <= microFrames; ++i) {
        const double x = kLeft + i * microWidth;
        svg.line(x, axis - 4, x, axis + 4, kInk);
        if (microFrames <= 8 || i == 0 || i == microFrames) {
            svg.text("tick", x, axis + 18, i == 0 ? "start" : (i == microFrames ? "end" : "middle"),
                     ms(i * microFramePeriod) + " ms", 11);
        }
    }
    const double labelY = kBarTop + kBarHeight / 2 + 4;
    if (integrationWidth >= 60) {
        svg.text("integration-label", kLeft + integrationWidth / 2, labelY, "middle",
                 asSetting(integration) + " ms", 11);
    }
    if (microWidth - integrationWidth >= 60) {
        svg.text("idle-label", kLeft + (integrationWidth + microWidth) / 2, labelY, "middle",
                 ms(idle) + " ms", 11);
    }

    // A legend names each mark with its time, so that the numbers stay readable when the
    // micro-frames are too narrow to carry them.
    const double legendY = height - 10;
    svg.rect("legend-integration", kLeft, legendY - 10, 12, 12, kIntegration, kInk);
    svg.text("legend", kLeft + 18, legendY, "start",
             "integration " + asSetting(integration) + " ms");
    svg.rect("legend-idle", kLeft + 230, legendY - 10, 12, 12, kIdle, kInk);
    svg.text("legend", kLeft + 248, legendY, "start", "idle " + ms(idle) + " ms");
    svg.rect("legend-phase", kLeft + 420, legendY - 10, 12, 12, kPhase, kInk);
    svg.text("legend", kLeft + 438, legendY, "start",
             std::to_string(phasesPerMicroFrame) + " phases per micro-frame");
    svg.text("legend", kRight, legendY, "end", "frame " + ms(framePeriod) + " ms");
    svg.body += "</svg>\n";
    return svg.body;
}

}  // namespace vexar
