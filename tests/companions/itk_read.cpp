// Opens a companion header (.mhd or .nhdr) with ITK's own reader and compares what ITK gives
// with what the header is meant to say: the dimensions, the spacing and origin of each axis,
// an identity direction, the component type and count, and every value against the raw sample
// file the volume was converted from (in its own byte order). Prints one line of what it read;
// on a difference, says which and exits 1 (2 for bad arguments or a file that cannot be read).
//
//   itk_read COMPANION RAW TYPE ORDER COMPONENTS NX NY NZ XAXIS YAXIS ZAXIS
//
// TYPE is a type word of the legacy layout (unsigned_char ... double, long being 8 bytes), ORDER
// big or little, each AXIS ORIGIN:SPACING.
#include <itkImageFileReader.h>
#include <itkImageIOBase.h>
#include <itkVectorImage.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Component = itk::IOComponentEnum;

struct TypeWord {
    const char* word;
    Component component;
    unsigned size;
};

constexpr TypeWord type_words[] = {
    {"unsigned_char", Component::UCHAR, 1},
    {"char", Component::CHAR, 1},
    {"short", Component::SHORT, 2},
    {"unsigned_short", Component::USHORT, 2},
    {"int", Component::INT, 4},
    {"unsigned_int", Component::UINT, 4},
    {"long", Component::LONGLONG, 8},
    {"unsigned_long", Component::ULONGLONG, 8},
    {"float", Component::FLOAT, 4},
    {"double", Component::DOUBLE, 8},
};

struct Expected {
    std::string companion, raw;
    TypeWord type{};
    bool big_endian = false;
    unsigned components = 1;
    std::uint64_t dims[3]{};
    double origin[3]{}, spacing[3]{};
};

bool close(double got, double want) {
    return std::fabs(got - want) <= 1e-5 * std::max(1.0, std::fabs(want));
}

// Compares the values ITK read (host order) with the raw file, a MiB at a time.
std::string compare_values(const Expected& e, const unsigned char* got, std::uint64_t bytes) {
    std::ifstream raw(e.raw, std::ios::binary);
    if (!raw)
        return "cannot open " + e.raw;
    const bool swap = e.big_endian != (std::endian::native == std::endian::big);
    std::vector<unsigned char> chunk(std::size_t{1} << 20);
    for (std::uint64_t at = 0; at < bytes;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes - at));
        if (!raw.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(n)))
            return e.raw + " holds fewer than " + std::to_string(bytes) + " bytes";
        if (swap)
            for (std::size_t i = 0; i < n; i += e.type.size)
                std::reverse(chunk.data() + i, chunk.data() + i + e.type.size);
        if (std::memcmp(chunk.data(), got + at, n) != 0) {
            std::size_t i = 0;
            while (chunk[i] == got[at + i])
                ++i;
            i -= i % e.type.size;
            std::ostringstream out;
            out << "value " << (at + i) / e.type.size << " differs: bytes";
            for (unsigned b = 0; b < e.type.size; ++b)
                out << ' ' << +got[at + i + b];
            out << " instead of";
            for (unsigned b = 0; b < e.type.size; ++b)
                out << ' ' << +chunk[i + b];
            out << " (host order)";
            return out.str();
        }
        at += n;
    }
    return {};
}

template <typename T>
int check(const Expected& e) {
    using Image = itk::VectorImage<T, 3>;
    auto reader = itk::ImageFileReader<Image>::New();
    reader->SetFileName(e.companion);
    try {
        reader->Update();
    } catch (const itk::ExceptionObject& error) {
        std::cerr << e.companion << ": ITK cannot read it: " << error.GetDescription() << '\n';
        return 2;
    }
    const auto* io = reader->GetImageIO();
    const auto* image = reader->GetOutput();
    const auto size = image->GetLargestPossibleRegion().GetSize();
    const auto spacing = image->GetSpacing();
    const auto origin = image->GetOrigin();
    std::cout << "itk " << e.companion << ": " << io->GetNameOfClass() << ' '
              << itk::ImageIOBase::GetComponentTypeAsString(io->GetComponentType()) << " x"
              << image->GetNumberOfComponentsPerPixel() << ", dims " << size[0] << ' ' << size[1]
              << ' ' << size[2] << ", spacing " << spacing[0] << ' ' << spacing[1] << ' '
              << spacing[2] << ", origin " << origin[0] << ' ' << origin[1] << ' ' << origin[2]
              << '\n';
    std::vector<std::string> wrong;
    if (io->GetComponentType() != e.type.component)
        wrong.push_back(std::string("component type is not that of ") + e.type.word);
    if (image->GetNumberOfComponentsPerPixel() != e.components)
        wrong.push_back("components: " + std::to_string(image->GetNumberOfComponentsPerPixel()));
    const char* axis = "xyz";
    for (unsigned i = 0; i < 3; ++i) {
        std::ostringstream out;
        if (size[i] != e.dims[i])
            out << axis[i] << " dimension " << size[i] << " instead of " << e.dims[i];
        else if (!close(spacing[i], e.spacing[i]))
            out << axis[i] << " spacing " << spacing[i] << " instead of " << e.spacing[i];
        else if (!close(origin[i], e.origin[i]))
            out << axis[i] << " origin " << origin[i] << " instead of " << e.origin[i];
        for (unsigned j = 0; j < 3; ++j)
            if (image->GetDirection()[i][j] != (i == j ? 1.0 : 0.0))
                out << (out.tellp() > 0 ? "; " : "") << "direction is not the identity";
        if (out.tellp() > 0)
            wrong.push_back(out.str());
    }
    if (wrong.empty()) {
        const std::uint64_t bytes =
            std::uint64_t{e.dims[0]} * e.dims[1] * e.dims[2] * e.components * e.type.size;
        const auto* got = reinterpret_cast<const unsigned char*>(image->GetBufferPointer());
        if (auto message = compare_values(e, got, bytes); !message.empty())
            wrong.push_back(message);
    }
    for (const auto& message : wrong)
        std::cerr << e.companion << ": ITK: " << message << '\n';
    return wrong.empty() ? 0 : 1;
}

bool parse_axis(const std::string& text, double& origin, double& spacing) {
    std::istringstream in(text);
    char colon = 0;
    return in >> origin >> colon >> spacing && colon == ':' && in.peek() == EOF;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    Expected e;
    bool ok = args.size() == 11;
    if (ok) {
        e.companion = args[0];
        e.raw = args[1];
        const auto* found = std::find_if(std::begin(type_words), std::end(type_words),
                                         [&](const TypeWord& t) { return args[2] == t.word; });
        ok = found != std::end(type_words) && (args[3] == "big" || args[3] == "little");
        if (ok)
            e.type = *found;
        e.big_endian = args[3] == "big";
        e.components = static_cast<unsigned>(std::stoul(args[4]));
        for (unsigned i = 0; i < 3 && ok; ++i) {
            e.dims[i] = std::stoull(args[5 + i]);
            ok = parse_axis(args[8 + i], e.origin[i], e.spacing[i]);
        }
    }
    if (!ok) {
        std::cerr << "usage: itk_read COMPANION RAW TYPE big|little COMPONENTS NX NY NZ"
                     " XORIGIN:XSPACING YORIGIN:YSPACING ZORIGIN:ZSPACING\n";
        return 2;
    }
    switch (e.type.component) {
    case Component::UCHAR:
        return check<unsigned char>(e);
    case Component::CHAR:
        return check<signed char>(e);
    case Component::SHORT:
        return check<std::int16_t>(e);
    case Component::USHORT:
        return check<std::uint16_t>(e);
    case Component::INT:
        return check<std::int32_t>(e);
    case Component::UINT:
        return check<std::uint32_t>(e);
    case Component::LONGLONG:
        return check<long long>(e);
    case Component::ULONGLONG:
        return check<unsigned long long>(e);
    case Component::FLOAT:
        return check<float>(e);
    default:
        return check<double>(e);
    }
}
