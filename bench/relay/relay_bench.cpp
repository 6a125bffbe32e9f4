// The relay benchmark: drives vandrel and, as the reference, libzmq's own zmq_proxy between a
// PULL and a PUB socket with the same load in the same run, interleaving their repetitions,
// and reports each figure for both with their ratio. See README.md.
#include "cores.h"
#include "flood.h"
#include "handshakes.h"
#include "measurement.h"
#include "options.h"
#include "report.h"
#include "scratch_dir.h"
#include "statistics.h"
#include "sustained.h"

#include <sched.h>
#include <unistd.h>

#include <zmq.hpp>

#include <exception>
#include <iostream>
#include <ostream>
#include <stdexcept>
#include <system_error>

namespace {

using namespace relay_bench;

// Everything this process starts afterwards, libzmq's threads included, inherits the core.
void pin_to_generator_core() {
    if (sysconf(_SC_NPROCESSORS_ONLN) <= relay_core) {
        throw std::runtime_error("the generator and the relay need a core each");
    }
    cpu_set_t cores;
    CPU_ZERO(&cores);
    CPU_SET(generator_core, &cores);
    if (sched_setaffinity(0, sizeof cores, &cores) != 0) {
        throw std::system_error(errno, std::generic_category(), "sched_setaffinity");
    }
}

std::vector<comparison> compare(const options& _options, zmq::context_t& _context,
                                const scratch_dir& _dir) {
    measurement_setup setup;
    setup.scrape_metrics = _options.metrics;
    if (_options.quick) {
        setup.saturation_seconds = 0.25;
        setup.paced_seconds = 0.25;
    }
    std::cout << "Load: 3 PUSH producers and 1 SUB subscriber on core " << generator_core
              << ", the relay on core " << relay_core << "; saturation for "
              << setup.saturation_seconds << " s, then " << paced_rate << " frames/s for "
              << setup.paced_seconds << " s; " << _options.repetitions
              << " repetitions, the two relays in turn.\n";
    std::vector<comparison> comparisons;
    int run = 0;
    for (const transport transport_kind : _options.transports) {
        for (const std::size_t frame_size : _options.frame_sizes) {
            setup.transport_kind = transport_kind;
            setup.frame_size = frame_size;
            setup.history = _options.history;
            comparison& compared = comparisons.emplace_back();
            compared.transport_kind = transport_kind;
            compared.frame_size = frame_size;
            if (_options.curve) {
                compared.subject = relay_kind::vandrel_curve;
                compared.reference = relay_kind::vandrel;
            }
            for (int repetition = 1; repetition <= _options.repetitions; ++repetition) {
                for (const relay_kind relay : {compared.subject, compared.reference}) {
                    const run_figures figures = measure(relay, setup, _context, _dir, ++run);
                    (relay == compared.subject ? compared.subject_runs : compared.reference_runs)
                        .push_back(figures);
                    std::cerr << transport_name(transport_kind) << ' ' << size_name(frame_size)
                              << ' ' << repetition << '/' << _options.repetitions << ' '
                              << relay_name(relay) << ": " << run_line(figures) << std::endl;
                }
            }
        }
    }
    return comparisons;
}

// Handshakes of both relays, in turn, each run a fresh relay.
void print_handshakes(std::ostream& _out, const options& _options, zmq::context_t& _context,
                      const scratch_dir& _dir) {
    const double seconds = _options.quick ? 0.25 : 2;
    std::vector<double> rates[2];
    std::vector<double> cpu[2];
    int run = 1000;
    for (int repetition = 0; repetition < _options.repetitions; ++repetition) {
        int index = 0;
        for (const relay_kind relay : {relay_kind::vandrel_curve, relay_kind::vandrel}) {
            const auto figures = measure_handshakes(relay, seconds, _context, _dir, ++run);
            rates[index].push_back(figures.per_second);
            cpu[index++].push_back(figures.cpu_us_per_handshake);
        }
    }
    _out << "\n### tcp handshakes, one client after another (medians, min – max)\n\n"
         << "| figure | vandrel CURVE | vandrel |\n|---|--:|--:|\n";
    const auto cell = [](const std::vector<double>& _values) {
        const spread figures = spread_of(_values);
        return std::to_string(int(figures.median)) + " (" + std::to_string(int(figures.min)) +
               " – " + std::to_string(int(figures.max)) + ")";
    };
    _out << "| handshakes/s | " << cell(rates[0]) << " | " << cell(rates[1]) << " |\n"
         << "| relay CPU per handshake (µs) | " << cell(cpu[0]) << " | " << cell(cpu[1]) << " |\n";
}

void flood(const options& _options, zmq::context_t& _context, const scratch_dir& _dir) {
    flood_setup setup;
    setup.flooders = _options.flooders;
    if (_options.quick) {
        setup.seconds = 1;
    }
    std::vector<flood_figures> runs;
    for (int repetition = 1; repetition <= _options.repetitions; ++repetition) {
        runs.push_back(measure_flood(setup, _context, _dir, 2000 + repetition));
        std::cerr << "flood " << repetition << '/' << _options.repetitions << ": "
                  << flood_line(runs.back()) << std::endl;
    }
    print_flood_report(std::cout, setup, runs);
}

}  // namespace

int main(int argc, char** argv) {
    options chosen;
    try {
        chosen = parse_options(argc, argv);
    } catch (const std::invalid_argument& error) {
        std::cerr << error.what();
        return 2;
    }
    try {
        pin_to_generator_core();
        zmq::context_t context;
        const scratch_dir dir;
        if (chosen.flooders > 0) {
            flood(chosen, context, dir);
            return 0;
        }
        if (chosen.sustained) {
            return run_sustained(std::cout, 10'000'000, context, dir) ? 0 : 1;
        }
        print_report(std::cout, compare(chosen, context, dir));
        if (chosen.curve) {
            print_handshakes(std::cout, chosen, context, dir);
        }
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "relay_bench: " << error.what() << "\n";
        return 1;
    }
}
