// RADIUS dictionaries: attribute definitions, VALUE constants and complex (vendor) layouts
// read from dictionary files, and the DictionarySet that owns every loaded dictionary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/value_type.h"

inline constexpr std::size_t kMaxAttributeNameLength = 32;
inline constexpr std::size_t kMaxValueNameLength = 31;
inline constexpr std::size_t kMaxDictionaryPathLength = 259;
inline constexpr const char* kDefaultDictionaryName = "default.dic";

enum class ComplexFieldKind : std::int32_t {
    Constant = 0,    // a fixed number
    Length = 1,      // a fixed length number
    LengthPlus = 2,  // the value length plus a number
    Data = 3,        // the value itself
};

// One field of a complex layout, in wire order.
struct ComplexField {
    ComplexFieldKind kind = ComplexFieldKind::Constant;
    std::int32_t size = 4;   // octets on the wire: 1, 2 or 4
    std::int32_t value = 0;  // the constant, the fixed length or the amount added; 0 for Data
};

// One ATTRIBUTE line.
struct AttributeDef {
    std::string name;  // at most 32 characters
    std::int32_t number = 0;
    ValueType type = ValueType::String;
    std::vector<ComplexField> fields;     // the layout of a Complex definition, else empty
    ValueType dataType = ValueType::NoValue;  // the layout's data type (Complex only)

    // Whether received value octets fit this layout. With no octets: true exactly for a
    // definition that is not Complex.
    bool Matches(std::span<const std::uint8_t> value) const;
    bool Matches(const std::uint8_t* octets, std::size_t length) const {
        return Matches(std::span<const std::uint8_t>(octets, octets ? length : 0));
    }
    // Octets of the fields before the first Data field (of all fields when there is none).
    std::int32_t HeaderLength() const;
};

// One VALUE line.
struct ValueDef {
    std::string attributeName;  // at most 32 characters; needs no ATTRIBUTE line
    std::string valueName;      // at most 31 characters
    std::int32_t value = 0;
};

// One loaded dictionary file. Made only by DictionarySet::Load and never changed afterwards.
// Every lookup searches this file's own entries first, then the own entries of each directly
// included dictionary in INCLUDE order (not their includes); the first hit wins.
class Dictionary {
public:
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    // The file name as it was asked for, without the directory.
    const std::string& Name() const { return name_; }

    // The first definition with that number.
    const AttributeDef* FindByNumber(std::int32_t number) const;
    // Exact, case-sensitive name.
    const AttributeDef* FindByName(std::string_view name) const;
    // The first definition of that number whose layout matches the value octets; when none
    // does and there are octets, the first of that number that is not Complex.
    const AttributeDef* FindComplex(std::int32_t number, std::span<const std::uint8_t> value) const;
    const AttributeDef* FindComplex(std::int32_t number, const std::uint8_t* octets, std::size_t length) const {
        return FindComplex(number, std::span<const std::uint8_t>(octets, octets ? length : 0));
    }
    // The first VALUE entry (in attribute-name, value order) with that value name, case-sensitive,
    // whatever attribute it belongs to.
    const ValueDef* FindValue(std::string_view valueName) const;

    // This file's own entries: attributes by number, values by (attribute name, value).
    const std::vector<AttributeDef>& Attributes() const { return attributes_; }
    const std::vector<ValueDef>& Values() const { return values_; }
    const std::vector<const Dictionary*>& Includes() const { return includes_; }

private:
    friend class DictionarySet;
    friend class DictionaryReader;
    explicit Dictionary(std::string name) : name_(std::move(name)) {}

    // Sorts the entries once the whole file has been read.
    void Finish();
    const AttributeDef* OwnByNumber(std::int32_t number) const;
    const AttributeDef* OwnByName(std::string_view name) const;
    const AttributeDef* OwnComplex(std::int32_t number, std::span<const std::uint8_t> value) const;
    const ValueDef* OwnValue(std::string_view valueName) const;

    std::string name_;
    std::vector<AttributeDef> attributes_;
    std::vector<std::size_t> nameIndex_;  // positions into attributes_, in name order
    std::vector<ValueDef> values_;
    std::vector<const Dictionary*> includes_;
};

// Owns the loaded dictionaries; loads each file once. At most one set is registered
// process-wide (Instance()); INCLUDE lines always load through the registered set.
class DictionarySet {
public:
    // The directory text is put directly before each file name, so it ends in "/" (or is empty
    // for the current folder). At most 259 characters are kept. A second set while one is
    // registered logs "Trying to create more then one DictionarySet" and stays unregistered.
    explicit DictionarySet(const char* directory);
    ~DictionarySet();
    DictionarySet(const DictionarySet&) = delete;
    DictionarySet& operator=(const DictionarySet&) = delete;

    // The dictionary of that file name (nullptr: "default.dic"): the loaded one when there is
    // one (by name, ignoring case), else read from directory + name. nullptr on failure; the
    // reason is in the log at level 0.
    const Dictionary* Load(const char* name = nullptr);
    const Dictionary* Load(const std::string& name) { return Load(name.c_str()); }
    // The first loaded dictionary whose name equals the given one ignoring case.
    const Dictionary* Find(std::string_view name) const;

    const std::string& Directory() const { return directory_; }
    // Loaded dictionaries, in the order their loads completed.
    std::size_t Count() const { return dictionaries_.size(); }

    static DictionarySet* Instance();

private:
    std::string directory_;
    std::vector<std::unique_ptr<Dictionary>> dictionaries_;
    std::vector<std::string> loading_;  // names being read now, outermost first (cycle guard)
};
