#include "protocol/freeradius_reader.h"

#include <unistd.h>

#include <limits>

#include "infra/bounded_string.h"
#include "infra/log.h"
#include "protocol/dictionary_lines.h"
#include "protocol/radius_attribute.h"
#include "protocol/typed_values.h"

namespace {

constexpr std::string_view kSeparators = " \t\r\v\f";
// FreeRADIUS reads lines into 256-octet buffers; a line this long is no dictionary line.
constexpr std::size_t kMaxLineLength = 1024;
constexpr std::uint32_t kMaxUint32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::int32_t kVendorSpecific = 26;  // RFC 2865 section 5.26
constexpr std::uint32_t kLastStandardNumber = 255;

// A text of the file in a message: in quotes, its unprintable octets escaped.
std::string Quoted(std::string_view text) {
    const std::span<const std::uint8_t> octets(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return std::string("'").append(FormatString(octets)).append("'");
}

// The line without its comment: in this format a "#" starts one anywhere.
std::string_view WithoutComment(std::string_view line) { return line.substr(0, line.find('#')); }

bool IsFlag(std::string_view token) {
    for (std::string_view flag : {"has_tag", "has_tag=1", "array", "concat", "virtual", "secret"})
        if (token == flag) return true;
    return token.starts_with("encrypt=");
}

// An unsigned number of at most 32 bits, decimal or "0x" hex.
std::optional<std::uint32_t> Unsigned32(std::string_view text) {
    const std::optional<Number> number = ParseNumber(text);
    if (!number || number->negative || number->magnitude > kMaxUint32) return std::nullopt;
    return static_cast<std::uint32_t>(number->magnitude);
}

// "octets[N]": octets of exactly N (1 to 253) octets.
std::optional<std::uint8_t> FixedOctetsLength(std::string_view type) {
    constexpr std::string_view kPrefix = "octets[";
    if (type.size() <= kPrefix.size() + 1 || !StartsWithNoCase(type, kPrefix) ||
        type.back() != ']')
        return std::nullopt;
    const std::string_view digits = type.substr(kPrefix.size(), type.size() - kPrefix.size() - 1);
    const std::optional<std::uint32_t> length = Unsigned32(digits);
    if (!length || *length == 0 || *length > 253) return std::nullopt;
    return static_cast<std::uint8_t>(*length);
}

// format=t,l or format=1,1,c (FreeRADIUS's VENDOR format: t of 1, 2 or 4 octets, l of 0, 1 or 2,
// and a continuation octet only with 1,1).
std::optional<VendorFormat> ParseVendorFormat(std::string_view text) {
    constexpr std::string_view kPrefix = "format=";
    if (!StartsWithNoCase(text, kPrefix)) return std::nullopt;
    text.remove_prefix(kPrefix.size());
    if (text.size() != 3 && text != "1,1,c") return std::nullopt;
    const char type = text[0];
    const char length = text[2];
    if (text[1] != ',' || (type != '1' && type != '2' && type != '4') || length < '0' || length > '2')
        return std::nullopt;
    VendorFormat format;
    format.typeSize = static_cast<std::uint8_t>(type - '0');
    format.lengthSize = static_cast<std::uint8_t>(length - '0');
    format.continuation = text.size() == 5;
    return format;
}

// RFC 2865 section 5.26: Vendor-Id (4 octets), vendor type, vendor length (counting the type,
// the length and the continuation octet too), then the value.
std::vector<ComplexField> VendorLayout(std::uint32_t vendorId, std::uint32_t vendorType, VendorFormat format) {
    std::vector<ComplexField> fields;
    fields.push_back({ComplexFieldKind::Constant, 4, static_cast<std::int32_t>(vendorId)});
    fields.push_back({ComplexFieldKind::Constant, format.typeSize, static_cast<std::int32_t>(vendorType)});
    if (format.lengthSize > 0)
        fields.push_back({ComplexFieldKind::LengthPlus, format.lengthSize,
                          format.typeSize + format.lengthSize + (format.continuation ? 1 : 0)});
    if (format.continuation) fields.push_back({ComplexFieldKind::Constant, 1, 0});  // no more parts follow
    fields.push_back({ComplexFieldKind::Data, 0, 0});
    return fields;
}

bool IsNeverSentType(ValueType type) {
    return type == ValueType::Tlv || type == ValueType::Extended || type == ValueType::LongExtended ||
           type == ValueType::Evs;
}

bool IsAbsolute(std::string_view path) { return !path.empty() && path[0] == '/'; }

// The folder part of a file name, with its "/" (empty for a name without a folder).
std::string_view FolderOf(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : name.substr(0, slash + 1);
}

}  // namespace

DictionaryFormat DetectFormat(std::FILE* file, DictionaryFormat includedBy) {
    static constexpr std::string_view kKeywords[] = {"$INCLUDE", "$INCLUDE-", "VENDOR", "BEGIN-VENDOR",
                                                     "END-VENDOR", "BEGIN-TLV", "END-TLV"};
    std::string line;
    bool cut = false;
    bool native = false;
    while (ReadLine(file, line, kMaxLineLength, cut)) {
        // Only keywords in the first column count, as in the own format.
        if (line.empty() || kSeparators.find(line[0]) != std::string_view::npos) continue;
        const auto fields = Split(WithoutComment(line), kSeparators);
        if (fields.empty()) continue;
        for (std::string_view keyword : kKeywords)
            if (EqualsNoCase(fields[0], keyword)) return DictionaryFormat::FreeRadius;
        // The own format reads keywords as prefixes: INCLUDEs is an INCLUDE line there.
        if (StartsWithNoCase(fields[0], "INCLUDE")) native = true;
        if (!EqualsNoCase(fields[0], "ATTRIBUTE") || fields.size() < 4) continue;
        const std::string_view type = fields[3];
        if (type[0] == '[') native = true;
        const bool sharedType = EqualsNoCase(type, "string") || EqualsNoCase(type, "integer") ||
                                EqualsNoCase(type, "ipaddr") || EqualsNoCase(type, "date");
        if ((FreeRadiusTypeFromText(type) && !sharedType) || FixedOctetsLength(type))
            return DictionaryFormat::FreeRadius;
        if (fields.size() >= 5) {
            bool allFlags = true;
            for (std::string_view token : Split(fields[4], ",")) allFlags = allFlags && IsFlag(token);
            if (allFlags) return DictionaryFormat::FreeRadius;
        }
    }
    return native ? DictionaryFormat::Native : includedBy;
}

bool FreeRadiusReader::Read(std::FILE* file) {
    std::string line;
    bool cut = false;
    while (ReadLine(file, line, kMaxLineLength, cut)) {
        ++lineNumber_;
        const std::string error = cut ? "Line too long" : Handle(line);
        if (!error.empty()) {
            Log(0, "%s on line %d of dictionary: %s", error.c_str(), lineNumber_, dictionary_.Name().c_str());
            return false;
        }
    }
    if (const auto unclosed = UnclosedBlock()) {
        Log(0, "%s on line %d of dictionary: %s", unclosed->first.c_str(), unclosed->second,
            dictionary_.Name().c_str());
        return false;
    }
    return true;
}

std::string FreeRadiusReader::Handle(std::string_view line) {
    const Fields fields = Split(WithoutComment(line), kSeparators);
    if (fields.empty()) return {};
    const std::string_view keyword = fields[0];
    if (EqualsNoCase(keyword, "ATTRIBUTE")) return Attribute(fields);
    if (EqualsNoCase(keyword, "VALUE")) return Value(fields);
    if (EqualsNoCase(keyword, "VENDOR")) return Vendor(fields);
    if (EqualsNoCase(keyword, "BEGIN-VENDOR")) return BeginVendor(fields);
    if (EqualsNoCase(keyword, "END-VENDOR")) return EndVendor(fields);
    if (EqualsNoCase(keyword, "BEGIN-TLV")) return BeginTlv(fields);
    if (EqualsNoCase(keyword, "END-TLV")) return EndTlv(fields);
    if (EqualsNoCase(keyword, "$INCLUDE") || EqualsNoCase(keyword, "$INCLUDE-")) return Include(fields);
    return "Unknown keyword " + Quoted(keyword);
}

std::string FreeRadiusReader::Attribute(const Fields& fields) {
    if (fields.size() != 4 && fields.size() != 5) return "Invalid ATTRIBUTE entry";
    AttributeDef def;
    def.format = DictionaryFormat::FreeRadius;
    if (fields[1].size() > kMaxFreeRadiusNameLength) return "Attribute name too long";
    def.name = fields[1];

    // The type: one of the table, or octets[N].
    ValueType type = ValueType::Octets;
    if (const std::optional<std::uint8_t> length = FixedOctetsLength(fields[3])) {
        def.fixedLength = *length;
    } else if (const std::optional<ValueType> known = FreeRadiusTypeFromText(fields[3])) {
        type = *known;
    } else {
        return "Unknown type " + Quoted(fields[3]);
    }

    // The flags, or (the older form) the vendor's name.
    std::optional<VendorDef> vendor = blockVendor_;
    if (fields.size() == 5)
        if (std::string error = Flags(fields[4], def, vendor); !error.empty()) return error;
    if (def.hasTag && type != ValueType::Integer && type != ValueType::String && type != ValueType::Octets)
        return "has_tag does not suit the type " + Quoted(fields[3]);
    if (def.array && FixedValueSize(type) == 0) return "array does not suit the type " + Quoted(fields[3]);

    // The number: a TLV member's is dotted, and only its parent goes into packets.
    const std::string_view oid = fields[2];
    const bool tlvMember = !tlvs_.empty() || oid.find('.') != std::string_view::npos;
    if (oid.front() == '.' || oid.back() == '.' || oid.find("..") != std::string_view::npos)
        return "Invalid attribute number " + Quoted(oid);
    std::uint32_t number = 0;
    for (std::string_view part : Split(oid, ".")) {
        const std::optional<std::uint32_t> value = Unsigned32(part);
        if (!value) return "Invalid attribute number " + Quoted(oid);
        number = *value;
    }

    if (tlvMember) {
        def.type = type;
        def.number = -1;
        def.unsendable = Unsendable::TlvMember;
    } else if (vendor && blockExtended_) {
        def.type = type;
        def.number = -1;
        def.unsendable = Unsendable::ExtendedVendor;
    } else if (vendor) {
        const unsigned typeBits = vendor->format.typeSize * 8u;
        if (typeBits < 32 && number >> typeBits != 0)
            return "Attribute number " + std::to_string(number) + " too large for vendor " + Quoted(vendor->name);
        def.type = ValueType::Complex;
        def.number = kVendorSpecific;
        def.dataType = type;
        def.vendorId = vendor->id;
        def.vendorType = number;
        def.vendorFormat = vendor->format;
        def.fields = VendorLayout(vendor->id, number, vendor->format);
    } else {
        def.type = type;
        def.number = static_cast<std::int32_t>(number);
        // The server's own attributes (Auth-Type, ...): never on the wire.
        if (number > kLastStandardNumber) def.unsendable = Unsendable::Internal;
    }
    if (IsNeverSentType(type) && def.unsendable == Unsendable::No) def.unsendable = Unsendable::Type;
    def.order = set_.NextOrder();
    dictionary_.attributes_.push_back(std::move(def));
    return {};
}

std::string FreeRadiusReader::Flags(std::string_view flags, AttributeDef& def, std::optional<VendorDef>& vendor) {
    for (std::string_view token : Split(flags, ",")) {
        if (token == "has_tag" || token == "has_tag=1") {
            def.hasTag = true;
        } else if (token == "encrypt=1") {
            def.hiding = ValueHiding::UserPassword;
        } else if (token == "encrypt=2") {
            def.hiding = ValueHiding::TunnelPassword;
        } else if (token == "encrypt=3") {
            def.unsendable = Unsendable::Encryption;
        } else if (token == "array") {
            def.array = true;
        } else if (token == "concat" || token == "virtual" || token == "secret") {
            // concat: a value never outgrows one item here; virtual and secret attributes are
            // the server's own.
        } else if (const VendorDef* named = set_.FindVendor(token)) {
            if (blockVendor_ && blockVendor_->id != named->id)
                return "Vendor " + Quoted(token) + " inside the block of " + Quoted(blockVendor_->name);
            vendor = *named;
        } else {
            return "Unknown flag or vendor " + Quoted(token);
        }
    }
    return {};
}

std::string FreeRadiusReader::Value(const Fields& fields) {
    if (fields.size() != 4) return "Invalid VALUE entry";
    if (fields[1].size() > kMaxFreeRadiusNameLength) return "Attribute name too long";
    if (fields[2].size() > kMaxFreeRadiusNameLength) return "Value name too long";
    const std::optional<Number> number = ParseNumber(fields[3]);
    constexpr std::uint64_t kMaxNegative = std::uint64_t{1} << 31;
    if (!number || number->magnitude > (number->negative ? kMaxNegative : kMaxUint32))
        return "Invalid value number " + Quoted(fields[3]);
    const auto bits = static_cast<std::uint32_t>(number->negative ? 0 - number->magnitude : number->magnitude);
    dictionary_.values_.push_back(
        ValueDef{std::string(fields[1]), std::string(fields[2]), static_cast<std::int32_t>(bits), set_.NextOrder()});
    return {};
}

std::string FreeRadiusReader::Vendor(const Fields& fields) {
    if (fields.size() != 3 && fields.size() != 4) return "Invalid VENDOR entry";
    if (fields[1].size() > kMaxFreeRadiusNameLength) return "Vendor name too long";
    VendorDef vendor;
    vendor.name = fields[1];
    const std::optional<std::uint32_t> id = Unsigned32(fields[2]);
    if (!id || *id == 0) return "Invalid vendor number " + Quoted(fields[2]);
    vendor.id = *id;
    if (fields.size() == 4) {
        const std::optional<VendorFormat> format = ParseVendorFormat(fields[3]);
        if (!format) return "Invalid vendor format " + Quoted(fields[3]);
        vendor.format = *format;
    }
    set_.AddVendor(vendor);
    return {};
}

std::string FreeRadiusReader::BeginVendor(const Fields& fields) {
    if (fields.size() != 2 && fields.size() != 3) return "Invalid BEGIN-VENDOR entry";
    const VendorDef* vendor = set_.FindVendor(fields[1]);
    if (vendor == nullptr) return "Unknown vendor " + Quoted(fields[1]);
    if (blockVendor_) return "BEGIN-VENDOR " + Quoted(fields[1]) + " inside the block of " + Quoted(blockVendor_->name);
    bool extended = false;
    if (fields.size() == 3) {
        // format=Extended-Vendor-Specific-1 to -6: RFC 6929's extended vendor space.
        constexpr std::string_view kExtended = "format=Extended-Vendor-Specific-";
        const std::string_view format = fields[2];
        extended = format.size() == kExtended.size() + 1 &&
                   StartsWithNoCase(format, kExtended) && format.back() >= '1' &&
                   format.back() <= '6';
        if (!extended) return "Invalid BEGIN-VENDOR format " + Quoted(format);
    }
    blockVendor_ = *vendor;
    blockExtended_ = extended;
    blockLine_ = lineNumber_;
    return {};
}

std::string FreeRadiusReader::EndVendor(const Fields& fields) {
    if (fields.size() != 2) return "Invalid END-VENDOR entry";
    if (!blockVendor_ || !EqualsNoCase(blockVendor_->name, fields[1]))
        return "END-VENDOR " + Quoted(fields[1]) + " without its BEGIN-VENDOR";
    blockVendor_.reset();
    blockExtended_ = false;
    return {};
}

std::string FreeRadiusReader::BeginTlv(const Fields& fields) {
    if (fields.size() != 2) return "Invalid BEGIN-TLV entry";
    tlvs_.push_back({std::string(fields[1]), lineNumber_});
    return {};
}

std::string FreeRadiusReader::EndTlv(const Fields& fields) {
    if (fields.size() != 2) return "Invalid END-TLV entry";
    if (tlvs_.empty() || tlvs_.back().name != fields[1])
        return "END-TLV " + Quoted(fields[1]) + " without its BEGIN-TLV";
    tlvs_.pop_back();
    return {};
}

std::string FreeRadiusReader::Include(const Fields& fields) {
    if (fields.size() != 2) return "Invalid $INCLUDE entry";
    // Relative to the including file, as FreeRADIUS reads it.
    const std::string name = IsAbsolute(fields[1]) ? std::string(fields[1])
                                                   : std::string(FolderOf(dictionary_.Name())) + std::string(fields[1]);
    const std::string path = IsAbsolute(name) ? name : set_.Directory() + name;
    const bool optional = fields[0].size() == 9;  // $INCLUDE-: a missing file is no error
    if (optional && access(path.c_str(), F_OK) != 0) return {};
    const Dictionary* included = set_.LoadPath(name, path, DictionaryFormat::FreeRadius);
    if (included == nullptr) return "Failure opening an Include dictionary";
    dictionary_.includes_.push_back(included);
    return {};
}

std::optional<std::pair<std::string, int>> FreeRadiusReader::UnclosedBlock() const {
    if (blockVendor_)
        return std::pair{"BEGIN-VENDOR " + Quoted(blockVendor_->name) + " without END-VENDOR", blockLine_};
    if (!tlvs_.empty())
        return std::pair{"BEGIN-TLV " + Quoted(tlvs_.back().name) + " without END-TLV", tlvs_.back().line};
    return std::nullopt;
}
