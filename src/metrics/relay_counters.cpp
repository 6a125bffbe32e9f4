#include "metrics/relay_counters.h"

namespace zel {

namespace {

void append_metric(std::string& _text, const char* _name, const char* _type, const char* _help,
                   const std::string& _value) {
    _text += std::string("# HELP ") + _name + " " + _help + "\n# TYPE " + _name + " " + _type +
             "\n" + _name + " " + _value + "\n";
}

}  // namespace

std::string relay_counters::status() const {
    return std::to_string(frames_published) + " frames relayed, " + std::to_string(bytes_received) +
           " bytes, " + std::to_string(producers) + " producers, " + std::to_string(subscribers) +
           " subscribers";
}

std::string relay_counters::metrics() const {
    std::string text;
    append_metric(text, "vandrel_frames_received_total", "counter", "Frames received on the input.",
                  std::to_string(frames_received));
    append_metric(text, "vandrel_bytes_received_total", "counter",
                  "Bytes of the frames received on the input.", std::to_string(bytes_received));
    append_metric(text, "vandrel_frames_published_total", "counter",
                  "Frames published on the output.", std::to_string(frames_published));
    append_metric(text, "vandrel_producers", "gauge", "Peers connected to the input now.",
                  std::to_string(producers));
    append_metric(text, "vandrel_subscribers", "gauge", "Peers connected to the output now.",
                  std::to_string(subscribers));
    return text;
}

}  // namespace zel
