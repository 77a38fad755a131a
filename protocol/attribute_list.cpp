#include "protocol/attribute_list.h"

#include <new>

bool AttributeList::Append(const RadiusAttribute& attribute) {
    try {
        attributes_.push_back(attribute);
    } catch (const std::bad_alloc&) {
        return false;  // push_back leaves the list as it was
    }
    return true;
}

bool AttributeList::AppendAll(const AttributeList& other) {
    if (&other == this) {
        const AttributeList copy(other);
        return AppendAll(copy);
    }
    for (const RadiusAttribute& attribute : other)
        if (!Append(attribute)) return false;
    return true;
}

const RadiusAttribute* AttributeList::Find(std::int32_t number) const {
    for (const RadiusAttribute& attribute : attributes_)
        if (attribute.number == number) return &attribute;
    return nullptr;
}

std::size_t AttributeList::EncodeAll(ByteWriter& out, const Dictionary* dictionary, ValueHider* hider) const {
    std::size_t written = 0;
    for (const RadiusAttribute& attribute : attributes_) written += attribute.Encode(out, dictionary, hider);
    return written;
}
