#include "simulation/invalid_lines.h"

const char* InvalidLineReasonName(InvalidLineReason reason) {
    switch (reason) {
        case InvalidLineReason::Time: return "time";
        case InvalidLineReason::MissingField: return "missingField";
        case InvalidLineReason::Duration: return "duration";
        case InvalidLineReason::Section: return "section";
        case InvalidLineReason::Attribute: return "attribute";
    }
    return "";
}

std::string DescribeInvalidLines(const InvalidLineCounts& counts) {
    std::string text = std::to_string(counts.Total()) + " (";
    const char* separator = "";
    for (InvalidLineReason reason : kAllInvalidLineReasons) {
        if (counts.Of(reason) == 0) continue;
        text += separator + std::string(InvalidLineReasonName(reason)) + " " + std::to_string(counts.Of(reason));
        separator = ", ";
    }
    return text + ")";
}
