// RADIUS dictionaries: attribute definitions, VALUE constants and complex (vendor) layouts
// read from dictionary files, and the DictionarySet that owns every loaded dictionary. Files
// come in two formats: the program's own (ATTRIBUTE, VALUE, INCLUDE and [layout] types), and
// FreeRADIUS's (VENDOR blocks, $INCLUDE, its types and flags), told apart by their keywords.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/value_hiding.h"
#include "protocol/value_type.h"

inline constexpr std::size_t kMaxAttributeNameLength = 32;
inline constexpr std::size_t kMaxValueNameLength = 31;
inline constexpr std::size_t kMaxDictionaryPathLength = 259;
inline constexpr const char* kDefaultDictionaryName = "default.dic";
// FreeRADIUS-format files allow longer attribute and value names.
inline constexpr std::size_t kMaxFreeRadiusNameLength = 127;

enum class DictionaryFormat : std::uint8_t { Native, FreeRadius };

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

    bool operator==(const ComplexField&) const = default;
};

// How a vendor lays out the attributes inside its Vendor-Specific attributes (RFC 2865
// section 5.26): octets of the vendor type, of the vendor length, and whether a continuation
// octet follows the length (format=t,l[,c]).
struct VendorFormat {
    std::uint8_t typeSize = 1;
    std::uint8_t lengthSize = 1;
    bool continuation = false;
};

// Why a loaded definition never goes into a packet.
enum class Unsendable : std::uint8_t {
    No,
    Type,            // tlv, extended, long-extended or evs
    Internal,        // a number above 255 outside a vendor: the server's own attributes
    TlvMember,       // inside a TLV (a dotted number or a BEGIN-TLV block)
    ExtendedVendor,  // in a vendor block of the RFC 6929 extended space
    Encryption,      // encrypt=3
};

// One ATTRIBUTE line.
struct AttributeDef {
    std::string name;  // at most 32 characters (127 in FreeRADIUS-format files)
    std::int32_t number = 0;
    ValueType type = ValueType::String;
    std::vector<ComplexField> fields;     // the layout of a Complex definition, else empty
    ValueType dataType = ValueType::NoValue;  // the layout's data type (Complex only)

    // What FreeRADIUS-format files add. A vendor attribute is a Complex definition of number
    // 26 whose layout is its vendor's: Vendor-Id, vendor type, vendor length, then the value.
    DictionaryFormat format = DictionaryFormat::Native;
    ValueHiding hiding = ValueHiding::None;
    bool hasTag = false;  // RFC 2868 section 3.1 tags
    bool array = false;   // an item may hold several values of the fixed-size type
    Unsendable unsendable = Unsendable::No;
    std::uint8_t fixedLength = 0;  // octets[N]: the value has exactly N octets
    VendorFormat vendorFormat;
    std::uint32_t vendorId = 0;  // a vendor attribute's Vendor-Id, else 0
    std::uint32_t vendorType = 0;
    std::uint32_t order = 0;  // reading order among all files of the set: later ones win

    // Whether received value octets fit this layout. With no octets: true exactly for a
    // definition that is not Complex.
    bool Matches(std::span<const std::uint8_t> value) const;
    bool Matches(const std::uint8_t* octets, std::size_t length) const {
        return Matches(std::span<const std::uint8_t>(octets, octets ? length : 0));
    }
    // Octets of the fields before the first Data field (of all fields when there is none).
    std::int32_t HeaderLength() const;
    // The type of the value itself: the dataType of a Complex definition, else the type.
    ValueType ValueTypeOf() const { return type == ValueType::Complex ? dataType : type; }
    bool IsVendorAttribute() const { return vendorId != 0 && type == ValueType::Complex; }
};

// One VALUE line.
struct ValueDef {
    std::string attributeName;  // at most 32 characters; needs no ATTRIBUTE line
    std::string valueName;      // at most 31 characters (127 in FreeRADIUS-format files)
    std::int32_t value = 0;
    std::uint32_t order = 0;  // reading order among all files of the set
};

// One VENDOR line of a FreeRADIUS-format file.
struct VendorDef {
    std::string name;
    std::uint32_t id = 0;
    VendorFormat format;
};

class DictionaryView;

// One loaded dictionary file. Made only by DictionarySet::Load and never changed afterwards.
// Every lookup searches this file's own entries first, then the own entries of each directly
// included dictionary in INCLUDE order (not their includes); the first hit wins. A
// FreeRADIUS-format file reads its $INCLUDE files in place, as FreeRADIUS does: its own
// entries are those of the files it includes too, and among several definitions of a number
// or a name the one read last wins.
class Dictionary {
public:
    ~Dictionary();
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    // The file name as it was asked for, without the directory.
    const std::string& Name() const { return name_; }
    DictionaryFormat Format() const { return format_; }

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
    // The VALUE entry of that attribute with that number.
    const ValueDef* FindValueOf(std::string_view attributeName, std::int32_t value) const;
    // The VALUE entry of that attribute with that name, case-sensitive.
    const ValueDef* FindValueNamed(std::string_view attributeName, std::string_view valueName) const;
    // The definition of a vendor attribute.
    const AttributeDef* FindVendorAttribute(std::uint32_t vendorId, std::uint32_t vendorType) const;

    // This file's own entries: attributes by number, values by (attribute name, value).
    const std::vector<AttributeDef>& Attributes() const { return attributes_; }
    const std::vector<ValueDef>& Values() const { return values_; }
    const std::vector<const Dictionary*>& Includes() const { return includes_; }

private:
    friend class DictionarySet;
    friend class DictionaryReader;
    friend class FreeRadiusReader;
    friend class DictionaryView;
    Dictionary(std::string name, DictionaryFormat format);

    // Sorts the entries once the whole file has been read.
    void Finish();
    const AttributeDef* OwnByNumber(std::int32_t number) const;
    const AttributeDef* OwnByName(std::string_view name) const;
    const AttributeDef* OwnComplex(std::int32_t number, std::span<const std::uint8_t> value) const;
    const ValueDef* OwnValue(std::string_view valueName) const;
    const ValueDef* OwnValueOf(std::string_view attributeName, std::int32_t value) const;
    const ValueDef* OwnValueNamed(std::string_view attributeName, std::string_view valueName) const;
    const AttributeDef* OwnVendorAttribute(std::uint32_t vendorId, std::uint32_t vendorType) const;
    template <typename Own>
    auto Search(Own own) const -> decltype(own(*this));
    // The dictionaries whose own entries the lookups search after this one's.
    std::span<const Dictionary* const> Searched() const;
    // Appends what this dictionary's lookups see, for a FreeRADIUS-format file that includes it.
    void CollectVisible(std::vector<const AttributeDef*>& attributes, std::vector<const ValueDef*>& values) const;
    void CollectOwn(std::vector<const AttributeDef*>& attributes, std::vector<const ValueDef*>& values) const;

    std::string name_;
    DictionaryFormat format_;
    std::vector<AttributeDef> attributes_;
    std::vector<std::size_t> nameIndex_;  // positions into attributes_, in name order
    std::vector<ValueDef> values_;
    std::vector<const Dictionary*> includes_;
    std::unique_ptr<DictionaryView> view_;  // FreeRADIUS format: these entries and the included ones
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
    // The same for a name that stands for the given path (a $INCLUDE relative to its file,
    // or an absolute one); a file whose lines both formats read is read in includedBy's.
    const Dictionary* LoadPath(const std::string& name, const std::string& path,
                               DictionaryFormat includedBy = DictionaryFormat::Native);
    // The first loaded dictionary whose name equals the given one ignoring case.
    const Dictionary* Find(std::string_view name) const;

    const std::string& Directory() const { return directory_; }
    // Loaded dictionaries, in the order their loads completed.
    std::size_t Count() const { return dictionaries_.size(); }

    // Vendors are known to every file read after their VENDOR line, as in FreeRADIUS. A vendor
    // defined again takes its new number and format.
    void AddVendor(const VendorDef& vendor);
    const VendorDef* FindVendor(std::string_view name) const;
    // The next number of the reading order of definitions.
    std::uint32_t NextOrder() { return ++order_; }

    static DictionarySet* Instance();

private:
    std::string directory_;
    std::vector<std::unique_ptr<Dictionary>> dictionaries_;
    std::vector<std::string> loading_;  // names being read now, outermost first (cycle guard)
    std::vector<VendorDef> vendors_;
    std::uint32_t order_ = 0;
};
