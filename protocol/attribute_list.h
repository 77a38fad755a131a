// An ordered list of attributes that owns copies of them; copied by value between owners.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/byte_span.h"
#include "protocol/radius_attribute.h"

class Dictionary;

class AttributeList {
public:
    using const_iterator = std::vector<RadiusAttribute>::const_iterator;

    AttributeList() = default;
    // Copies are deep and independent; assigning a list to itself changes nothing.
    AttributeList(const AttributeList&) = default;
    AttributeList& operator=(const AttributeList&) = default;
    AttributeList(AttributeList&&) noexcept = default;
    AttributeList& operator=(AttributeList&&) noexcept = default;

    // Appends a copy. False only when memory runs out (the list is then unchanged).
    bool Append(const RadiusAttribute& attribute);
    // Appends copies of every attribute of other, in order; stops at the first failure
    // (the copies made so far stay).
    bool AppendAll(const AttributeList& other);
    // The first attribute with that number, or nullptr.
    const RadiusAttribute* Find(std::int32_t number) const;
    void Clear() { attributes_.clear(); }

    bool Empty() const { return attributes_.empty(); }
    std::size_t Size() const { return attributes_.size(); }
    const_iterator begin() const { return attributes_.begin(); }
    const_iterator end() const { return attributes_.end(); }

    // Encodes every attribute in order at the writer's position (RadiusAttribute::Encode, hidden
    // values hidden by hider); returns the octets written. Items that are left out take no room.
    std::size_t EncodeAll(ByteWriter& out, const Dictionary* dictionary, ValueHider* hider = nullptr) const;

private:
    std::vector<RadiusAttribute> attributes_;
};
