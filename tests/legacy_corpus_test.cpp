// voxinfo against VTK's own reader: every file of tests/legacy/files with the figures that VTK 9.1
// gave for it (tests/legacy/expected.tsv). Where VTK loads a structured file, voxinfo must give
// status 0 and the same grid and samples; the other dataset kinds it must refuse by name.
#include "e2e_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

using vox::test::run_program;

struct row {
    std::map<std::string, std::string> field;
    const std::string& operator[](const std::string& key) const { return field.at(key); }
};

std::vector<row> expected_rows() {
    std::ifstream tsv(std::string(LEGACY_DIR) + "/expected.tsv");
    std::string line;
    std::getline(tsv, line);
    std::vector<std::string> names;
    for (std::istringstream head(line); std::getline(head, line, '\t');) {
        names.push_back(line);
    }
    std::vector<row> rows;
    while (std::getline(tsv, line)) {
        row r;
        std::istringstream cells(line);
        for (const std::string& name : names) {
            std::getline(cells, r.field[name], '\t');
        }
        rows.push_back(r);
    }
    return rows;
}

// The value of a "  key: value" line of the report; empty when there is none.
std::string value_of(const std::string& report, const std::string& key) {
    const std::string start = "\n  " + key + ": ";
    const auto at = ("\n" + report).find(start);
    if (at == std::string::npos) {
        return "";
    }
    const auto from = at + start.size() - 1;
    return report.substr(from, report.find('\n', from) - from);
}

std::vector<double> numbers_in(const std::string& text) {
    std::vector<double> out;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        if (!word.empty() && word.back() == ',') {
            word.pop_back();
        }
        char* end = nullptr;
        const double v = std::strtod(word.c_str(), &end);
        if (end != word.c_str() && *end == '\0') {
            out.push_back(v);
        }
    }
    return out;
}

// Equal as written, or within the precision of a float that either side may have printed.
bool same(double a, double b) {
    return a == b || std::fabs(a - b) <= 1e-6 * std::max(std::fabs(a), std::fabs(b));
}

void expect_numbers(const std::string& file, const std::string& what, const std::string& got,
                    const std::vector<double>& want) {
    const std::vector<double> have = numbers_in(got);
    bool ok = have.size() == want.size();
    for (std::size_t i = 0; ok && i < want.size(); ++i) {
        ok = same(have[i], want[i]);
    }
    EXPECT_TRUE(ok) << file << ": " << what << " is \"" << got << "\"";
}

class corpus : public testing::TestWithParam<row> {};

TEST_P(corpus, agrees_with_vtk) {
    const row& r = GetParam();
    const std::string path = std::string(LEGACY_DIR) + "/files/" + r["file"];
    const auto got = run_program(VOXINFO, {"voxinfo", path}, ".");
    const std::string& dataset = r["dataset"];
    if (r["vtk"] != "ok") {
        return; // VTK refuses it: voxinfo may refuse it, or report what is wrong
    }
    if (dataset != "structured_points" && dataset != "rectilinear_grid") {
        EXPECT_EQ(got.status, 2) << r["file"];
        EXPECT_NE(got.err.find("only STRUCTURED_POINTS and RECTILINEAR_GRID files are read"),
                  std::string::npos)
            << got.err;
        return;
    }
    ASSERT_EQ(got.status, 0) << r["file"] << "\n" << got.out << got.err;
    const std::string& out = got.out;
    expect_numbers(r["file"], "dimensions", value_of(out, "dimensions"),
                   numbers_in(r["dimensions"]));
    if (dataset == "structured_points") {
        expect_numbers(r["file"], "spacing", value_of(out, "spacing"), numbers_in(r["spacing"]));
        expect_numbers(r["file"], "origin", value_of(out, "origin"), numbers_in(r["origin"]));
    } else {
        for (const char* axis : {"x", "y", "z"}) {
            std::string count_min_max = r[axis];
            std::replace(count_min_max.begin(), count_min_max.end(), ':', ' ');
            const std::vector<double> want = numbers_in(count_min_max);
            // "3 values, 0 to 1.5"
            expect_numbers(r["file"], axis, value_of(out, axis), want);
        }
    }
    const std::string samples = value_of(out, "samples");
    if (r["scalars"] == "-") {
        EXPECT_EQ(samples, "none") << r["file"];
        return;
    }
    // The type word stands whole in the samples line, in any case.
    std::string words = " " + samples + " ";
    std::replace(words.begin(), words.end(), ',', ' ');
    std::transform(words.begin(), words.end(), words.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string type = r["type"];
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // VTK loads signed_char as char, the same bytes.
    const bool alike = type == "char" && words.find(" signed_char ") != std::string::npos;
    EXPECT_TRUE(alike || words.find(" " + type + " ") != std::string::npos)
        << r["file"] << ": samples \"" << samples << "\", VTK says " << r["type"];
    std::vector<double> range = {std::strtod(r["min"].c_str(), nullptr),
                                 std::strtod(r["max"].c_str(), nullptr)};
    if (r["not_finite"] != "0") {
        range.push_back(std::strtod(r["not_finite"].c_str(), nullptr));
    }
    expect_numbers(r["file"], "values", value_of(out, "values"), range);
}

INSTANTIATE_TEST_SUITE_P(files, corpus, testing::ValuesIn(expected_rows()),
                         [](const testing::TestParamInfo<row>& file) {
                             std::string name;
                             for (const char ch : file.param["file"]) {
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });

} // namespace
