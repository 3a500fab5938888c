#pragma once

// A RunReporter for tests and benchmarks of the download: it keeps every
// report in order, lets the test see each one as it is made, and answers the
// stop question from a flag the test sets. No window is involved. Windows only.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "download/run_reporter.h"

namespace orva::testing {

enum class ReportKind { kStatus, kProgress, kFailed, kInstallerReady };

struct Report {
    ReportKind kind;
    std::uint32_t permille;  // progress only; 0 otherwise
    std::wstring text;       // the status, detail, reason or path
};

class RecordingReporter final : public RunReporter {
  public:
    void status(const std::wstring& text) override { add({ReportKind::kStatus, 0, text}); }
    void progress(std::uint32_t permille, const std::wstring& detail) override {
        add({ReportKind::kProgress, permille, detail});
    }
    void failed(const std::wstring& reason) override { add({ReportKind::kFailed, 0, reason}); }
    void installerReady(const std::wstring& path, FileHandle held) override {
        hold = std::move(held);
        add({ReportKind::kInstallerReady, 0, path});
    }
    bool stopRequested() const override { return stop; }

    // The texts of one kind of report, in order.
    std::vector<std::wstring> texts(ReportKind kind) const {
        std::vector<std::wstring> result;
        for (const Report& report : reports) {
            if (report.kind == kind) {
                result.push_back(report.text);
            }
        }
        return result;
    }

    // The last report when it ends a run (a failure or a ready installer).
    std::optional<Report> final() const {
        if (reports.empty() || (reports.back().kind != ReportKind::kFailed &&
                                reports.back().kind != ReportKind::kInstallerReady)) {
            return std::nullopt;
        }
        return reports.back();
    }

    std::vector<Report> reports;
    // The handle that came with the ready installer, held as the window holds
    // it until the launch has returned.
    FileHandle hold;
    // Sees each report as it is made; may set |stop|. Tests run download() on
    // their own thread, so a plain flag is enough.
    std::function<void(const Report&)> onReport;
    bool stop = false;

  private:
    void add(Report report) {
        reports.push_back(std::move(report));
        if (onReport) {
            onReport(reports.back());
        }
    }
};

}  // namespace orva::testing
