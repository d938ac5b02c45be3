#pragma once
// Property names on the command line and their identifiers.
#include "camera/CMTypes.h"

#include <optional>
#include <string>

struct PropertyName {
    tagCMProperty id;
    const char* name;
};

// All properties, in identifier order.
const PropertyName* propertyNames(int& count);
// A property by name or number.
std::optional<tagCMProperty> parseProperty(const std::string& text);
const char* propertyName(tagCMProperty id);
