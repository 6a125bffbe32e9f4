#include "report.h"

#include "statistics.h"

#include <cstdio>
#include <functional>
#include <optional>

namespace relay_bench {
namespace {

enum class unit { rate, microseconds, percent, mebibytes };

// The bound a ratio vandrel / zmq_proxy should stay within.
struct goal {
    bool at_most;
    double bound;

    bool met(double _ratio) const { return at_most ? _ratio <= bound : _ratio >= bound; }
};

struct figure {
    const char* name;
    double run_figures::*member;
    unit kind;
    // A ratio of losses or of near-zero figures means little.
    bool has_ratio;
    std::function<std::optional<goal>(std::size_t)> goal_for;
};

std::optional<goal> none(std::size_t) {
    return std::nullopt;
}

const figure figures[] = {
    {"relayed frames/s (saturation)", &run_figures::relayed_per_second, unit::rate, true, none},
    {"delivered frames/s (saturation)", &run_figures::delivered_per_second, unit::rate, true,
     [](std::size_t _size) -> std::optional<goal> {
         if (_size >= 1024) {
             return goal{false, 0.95};
         }
         if (_size == 64) {
             return goal{false, 0.9};
         }
         return std::nullopt;
     }},
    {"loss at saturation", &run_figures::loss_percent, unit::percent, true, none},
    {"relay CPU per relayed frame", &run_figures::cpu_us_per_frame, unit::microseconds, true,
     [](std::size_t _size) -> std::optional<goal> {
         if (_size == 64) {
             return goal{true, 1.3};
         }
         if (_size == 1024) {
             return goal{true, 1.1};
         }
         return std::nullopt;
     }},
    {"latency p50 at 10k frames/s", &run_figures::p50_us, unit::microseconds, true, none},
    {"latency p99 at 10k frames/s", &run_figures::p99_us, unit::microseconds, true,
     [](std::size_t) -> std::optional<goal> {
         return goal{true, 1.2};
     }},
    {"loss at 10k frames/s", &run_figures::paced_loss_percent, unit::percent, false, none},
    {"peak RSS (VmHWM)", &run_figures::peak_rss_mib, unit::mebibytes, true, none},
};

// Three significant digits, without an exponent.
std::string digits(double _value) {
    char text[32];
    const int decimals = _value >= 100 ? 0 : _value >= 10 ? 1 : 2;
    std::snprintf(text, sizeof text, "%.*f", decimals, _value);
    return text;
}

std::string format(double _value, unit _unit) {
    switch (_unit) {
        case unit::rate:
            if (_value >= 1e6) {
                return digits(_value / 1e6) + " M";
            }
            if (_value >= 1e3) {
                return digits(_value / 1e3) + " k";
            }
            return digits(_value);
        case unit::microseconds:
            return digits(_value) + " µs";
        case unit::percent:
            return digits(_value) + " %";
        case unit::mebibytes:
            return digits(_value) + " MiB";
    }
    return digits(_value);
}

std::string ratio_text(double _ratio) {
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", _ratio);
    return text;
}

std::string spread_text(const spread& _spread, const std::function<std::string(double)>& _format) {
    return _format(_spread.median) + " (" + _format(_spread.min) + " – " + _format(_spread.max) +
           ")";
}

std::vector<double> values_of(const std::vector<run_figures>& _runs, double run_figures::*_member) {
    std::vector<double> values;
    for (const auto& run : _runs) {
        values.push_back(run.*_member);
    }
    return values;
}

// The runs' ratios, or nothing when some reference run has 0 for the figure.
std::optional<std::vector<double>> ratios_of(const comparison& _comparison,
                                             double run_figures::*_member) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < _comparison.subject_runs.size(); ++i) {
        const double reference = _comparison.reference_runs[i].*_member;
        if (reference == 0) {
            return std::nullopt;
        }
        ratios.push_back(_comparison.subject_runs[i].*_member / reference);
    }
    return ratios;
}

std::string title(const comparison& _comparison) {
    return std::string(transport_name(_comparison.transport_kind)) + ", " +
           size_name(_comparison.frame_size);
}

// Faults rather than figures: frames out of order or cut, a relay that did not stop cleanly.
void print_faults(std::ostream& _out, const char* _relay, const std::vector<run_figures>& _runs) {
    for (std::size_t i = 0; i < _runs.size(); ++i) {
        const run_figures& run = _runs[i];
        if (run.reordered != 0 || run.malformed != 0 || run.stop_status != "exit 0") {
            _out << "- " << _relay << ", repetition " << i + 1 << ": " << run.reordered
                 << " frames out of order, " << run.malformed
                 << " of the wrong size, stopped: " << run.stop_status << "\n";
        }
    }
}

// Frames lost at the paced rate mean the load there was more than the generator's core or the
// relay could carry: the latency of such runs measures queues filling, not the relay's path.
void print_paced_losses(std::ostream& _out, const comparison& _comparison) {
    int overloaded = 0;
    for (const auto* runs : {&_comparison.subject_runs, &_comparison.reference_runs}) {
        for (const auto& run : *runs) {
            overloaded += run.paced_loss_percent > 0 ? 1 : 0;
        }
    }
    if (overloaded != 0) {
        _out << "- runs that lost frames at the paced rate: " << overloaded
             << "; their latency includes queueing behind an overloaded core\n";
    }
}

}  // namespace

std::string size_name(std::size_t _bytes) {
    if (_bytes >= 1024 && _bytes % 1024 == 0) {
        return std::to_string(_bytes / 1024) + " KiB";
    }
    return std::to_string(_bytes) + " B";
}

std::string rate_text(double _per_second) {
    return format(_per_second, unit::rate);
}

std::string run_line(const run_figures& _figures) {
    return "relayed " + format(_figures.relayed_per_second, unit::rate) + "/s, delivered " +
           format(_figures.delivered_per_second, unit::rate) + "/s (loss " +
           format(_figures.loss_percent, unit::percent) + "), CPU " +
           format(_figures.cpu_us_per_frame, unit::microseconds) + "/frame, p50/p99 " +
           format(_figures.p50_us, unit::microseconds) + " / " +
           format(_figures.p99_us, unit::microseconds) + ", paced loss " +
           format(_figures.paced_loss_percent, unit::percent) + ", peak RSS " +
           format(_figures.peak_rss_mib, unit::mebibytes) +
           (_figures.scrapes > 0 ? ", " + std::to_string(_figures.scrapes) + " scrapes" : "") +
           (_figures.history_records == 0
                ? ""
                : ", history reader " + std::to_string(_figures.history_records) + " records");
}

void print_report(std::ostream& _out, const std::vector<comparison>& _comparisons) {
    std::vector<std::string> goal_lines;
    for (const auto& compared : _comparisons) {
        const std::string subject = relay_name(compared.subject);
        const std::string reference = relay_name(compared.reference);
        const bool with_goals = compared.reference == relay_kind::zmq_proxy;
        _out << "\n### " << title(compared) << " (medians of " << compared.subject_runs.size()
             << " interleaved repetitions, min – max)\n\n"
             << "| figure | " << subject << " | " << reference << " | " << subject << " / "
             << reference << " | goal |\n"
             << "|---|--:|--:|--:|---|\n";
        for (const auto& shown : figures) {
            const auto format_figure = [&](double _value) { return format(_value, shown.kind); };
            _out << "| " << shown.name << " | "
                 << spread_text(spread_of(values_of(compared.subject_runs, shown.member)),
                                format_figure)
                 << " | "
                 << spread_text(spread_of(values_of(compared.reference_runs, shown.member)),
                                format_figure)
                 << " | ";
            const auto ratios = shown.has_ratio ? ratios_of(compared, shown.member) : std::nullopt;
            std::string goal_cell;
            if (ratios) {
                const spread ratio = spread_of(*ratios);
                _out << spread_text(ratio, ratio_text);
                if (const auto wanted =
                        with_goals ? shown.goal_for(compared.frame_size) : std::nullopt) {
                    const std::string verdict = wanted->met(ratio.median) ? "met" : "MISSED";
                    goal_cell = (wanted->at_most ? "≤ " : "≥ ") + ratio_text(wanted->bound) + ": " +
                                verdict;
                    goal_lines.push_back(verdict + ": " + title(compared) + ", " + shown.name +
                                         ", ratio " + ratio_text(ratio.median) + " against " +
                                         goal_cell.substr(0, goal_cell.find(':')));
                }
            } else {
                _out << "–";
            }
            _out << " | " << goal_cell << " |\n";
        }
        _out << "\n";
        print_faults(_out, subject.c_str(), compared.subject_runs);
        print_faults(_out, reference.c_str(), compared.reference_runs);
        print_paced_losses(_out, compared);
    }
    if (goal_lines.empty()) {
        return;
    }
    _out << "\n### Goals (median ratio vandrel / zmq_proxy)\n\n";
    for (const auto& line : goal_lines) {
        _out << "- " << line << "\n";
    }
}

}  // namespace relay_bench
