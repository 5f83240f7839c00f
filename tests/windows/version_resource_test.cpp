// The DLL's version resource against its version record: the fixed file
// information carries the record's four numbers, the strings its file name
// and version text.  The DLL is loaded here directly (not through the host
// library) to reach its resources.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "orvdc.h"
#include "windows/pe_loader.h"

namespace {

constexpr std::uint32_t kVersionResource = 16;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr std::uint32_t kFileTypeDll = 2;

std::uint16_t word(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// One node of the version tree: wLength, wValueLength, wType, a UTF-16 key,
// the value and the children, each part starting on a 4-byte boundary.
struct Node {
    std::string key;
    const std::uint8_t* value;
    std::size_t valueBytes;
    const std::uint8_t* children;
    const std::uint8_t* end;
};

const std::uint8_t* align4(const std::uint8_t* base, const std::uint8_t* p) {
    return base + ((p - base + 3) & ~std::ptrdiff_t{3});
}

// Text values hold UTF-16 units; every text here is ASCII.
std::string ascii(const std::uint8_t* p, std::size_t units) {
    std::string s;
    for (std::size_t i = 0; i < units && word(p + 2 * i) != 0; ++i) s.push_back(static_cast<char>(word(p + 2 * i)));
    return s;
}

bool readNode(const std::uint8_t* base, const std::uint8_t* p, const std::uint8_t* limit, Node& n) {
    if (limit - p < 6) return false;
    const std::uint16_t length = word(p), valueLength = word(p + 2), type = word(p + 4);
    if (length < 6 || length > limit - p) return false;
    n.end = p + length;
    const std::uint8_t* q = p + 6;
    while (q + 2 <= n.end && word(q) != 0) q += 2;
    n.key = ascii(p + 6, static_cast<std::size_t>(q - p - 6) / 2);
    n.value = align4(base, q + 2);
    n.valueBytes = type == 1 ? 2u * valueLength : valueLength;
    n.children = align4(base, n.value + n.valueBytes);
    return n.children <= n.end;
}

// The strings under StringFileInfo: root children, string tables, strings.
void collectStrings(const std::uint8_t* base, const std::uint8_t* p, const std::uint8_t* end, int depth,
                    std::map<std::string, std::string>& out) {
    Node n;
    while (readNode(base, p, end, n)) {
        if (depth == 2)
            out[n.key] = ascii(n.value, n.valueBytes / 2);
        else if (depth == 1 || n.key == "StringFileInfo")
            collectStrings(base, n.children, n.end, depth + 1, out);
        p = align4(base, n.end);
    }
}

TEST(VersionResource, AgreesWithTheVersionRecord) {
    char why[256] = "";
    PeImage* image = pe_load(ORVDC_WINDOWS_DLL, why, sizeof why);
    ASSERT_NE(image, nullptr) << why;
    auto getVersion = reinterpret_cast<const VersionRecord* (*)(void)>(pe_export(image, "orvdcGetLibVersion"));
    ASSERT_NE(getVersion, nullptr);
    const VersionRecord* v = getVersion();

    std::uint32_t size = 0;
    const auto* base = static_cast<const std::uint8_t*>(pe_resource(image, kVersionResource, &size));
    ASSERT_NE(base, nullptr) << "no version resource";
    Node root;
    ASSERT_TRUE(readNode(base, base, base + size, root));
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    ASSERT_GE(root.valueBytes, 13u * 4u);
    std::uint32_t fixed[13];
    std::memcpy(fixed, root.value, sizeof fixed);
    EXPECT_EQ(fixed[0], kFixedInfoSignature);
    const std::uint32_t high = static_cast<std::uint32_t>(v->versionMajor << 16 | v->versionMinor);
    const std::uint32_t low = static_cast<std::uint32_t>(v->buildNumber << 16 | v->revision);
    EXPECT_EQ(fixed[2], high);  // file version
    EXPECT_EQ(fixed[3], low);
    EXPECT_EQ(fixed[4], high);  // product version
    EXPECT_EQ(fixed[5], low);
    EXPECT_EQ(fixed[9], kFileTypeDll);

    std::map<std::string, std::string> strings;
    collectStrings(base, root.children, root.end, 0, strings);
    EXPECT_EQ(strings["OriginalFilename"], v->fileName);
    EXPECT_EQ(strings["ProductVersion"], v->versionText);
    EXPECT_EQ(strings["FileVersion"], std::to_string(v->versionMajor) + "." + std::to_string(v->versionMinor) + "." +
                                          std::to_string(v->buildNumber) + "." + std::to_string(v->revision));
    EXPECT_FALSE(strings["FileDescription"].empty());
    EXPECT_FALSE(strings["ProductName"].empty());
}

}  // namespace
