// The JSON picture of an IDF file that "setupkit dump-idf" prints.
#pragma once

#include <string>

class TIDFTextFile;

// {"roots":[{"name":..,"value":..}],
//  "sections":[{"name":..,"tree":true|false,"params":[{"name":..,"type":..,"value":..}]}]}
// on one line, in UTF-8; type is string, integer, boolean, double or binary.
std::string IdfToJson(const TIDFTextFile& file);
