// Reads knots as lines "name<TAB>PD code" (PD code as [[i,j,k,l],...]) and
// writes "name<TAB>HOMFLY-PT<TAB>Jones<TAB>PD code" for each: the polynomials
// of the diagram as homfly_polynomial computes them, and the PD code as the
// project writes it (edges renumbered along the walk from the first
// crossing's under strand). With --names it writes instead
// "name<TAB>identified<TAB>identified mirror": the names identify_diagram
// gives the diagram and its mirror image. A line that does not parse, or a
// diagram that is not a planar knot diagram, ends the run with the line's
// number.
//
// With --census it writes "name<TAB>HOMFLY-PT<TAB>mirror's HOMFLY-PT" by the
// sweep (the census generator's input: knots of 13 to 15 crossings).
//
// With --link the lines are links: it writes "name<TAB>components<TAB>
// HOMFLY-PT" (by the sweep on the oriented diagram of the PD code); with
// --link-names "name<TAB>identified<TAB>identified mirror", the names the
// link table gives the diagram and its mirror image.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "analysis/identify.hpp"
#include "analysis/link_identify.hpp"
#include "diagram/link_diagram.hpp"
#include "invariants/homfly_sweep.hpp"
#include "diagram/knot_diagram.hpp"
#include "invariants/homfly.hpp"

namespace {

using skeinlab::PdCrossing;

bool parse_pd(const std::string& text, std::vector<PdCrossing>& pd) {
    std::vector<std::uint32_t> numbers;
    std::uint64_t value = 0;
    bool in_number = false;
    for (const char ch : text) {
        if (ch >= '0' && ch <= '9') {
            value = value * 10 + static_cast<std::uint64_t>(ch - '0');
            if (value > 1000000) return false;
            in_number = true;
        } else {
            if (in_number) numbers.push_back(static_cast<std::uint32_t>(value));
            value = 0;
            in_number = false;
            if (ch != '[' && ch != ']' && ch != ',' && ch != ' ') return false;
        }
    }
    if (in_number || numbers.size() % 4 != 0) return false;
    for (std::size_t k = 0; k < numbers.size(); k += 4)
        pd.push_back({numbers[k], numbers[k + 1], numbers[k + 2], numbers[k + 3]});
    return true;
}

std::string pd_text(const std::vector<PdCrossing>& pd) {
    std::string out = "[";
    for (std::size_t c = 0; c < pd.size(); ++c) {
        if (c) out += ',';
        out += '[' + std::to_string(pd[c][0]) + ',' + std::to_string(pd[c][1]) + ',' + std::to_string(pd[c][2]) + ',' +
               std::to_string(pd[c][3]) + ']';
    }
    return out + ']';
}

}  // namespace


int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool names = mode == "--names";
    const bool links = mode == "--link" || mode == "--link-names";
    std::string line;
    std::size_t number = 0;
    while (std::getline(std::cin, line)) {
        ++number;
        const std::size_t tab = line.find('\t');
        std::vector<PdCrossing> pd;
        if (tab == std::string::npos || !parse_pd(line.substr(tab + 1), pd)) {
            std::fprintf(stderr, "line %zu: expected 'name<TAB>PD code'\n", number);
            return 1;
        }
        if (links) {
            const skeinlab::Result<skeinlab::LinkWalks> link = skeinlab::link_from_pd(pd);
            if (!link) {
                std::fprintf(stderr, "line %zu: %s\n", number, link.error().display().c_str());
                return 1;
            }
            if (mode == "--link-names") {
                std::optional<skeinlab::Laurent2> p;
                std::cout << line.substr(0, tab) << '\t' << skeinlab::name_link_diagram(link.value(), p) << '\t'
                          << skeinlab::name_link_diagram(skeinlab::mirror_image(link.value()), p) << '\n';
                continue;
            }
            const std::optional<skeinlab::Laurent2> p = skeinlab::homfly_polynomial_sweep(skeinlab::oriented_diagram(link.value()));
            if (!p) {
                std::fprintf(stderr, "line %zu: no polynomial within the sweep's limits\n", number);
                return 1;
            }
            std::cout << line.substr(0, tab) << '\t' << link.value().walks.size() << '\t' << p->text() << '\n';
            continue;
        }
        const skeinlab::Result<skeinlab::KnotDiagram> d = skeinlab::diagram_from_pd(pd);
        if (!d) {
            std::fprintf(stderr, "line %zu: %s\n", number, d.error().display().c_str());
            return 1;
        }
        if (mode == "--census") {
            const std::optional<skeinlab::Laurent2> p = skeinlab::homfly_polynomial_sweep(d.value());
            if (!p) {
                std::fprintf(stderr, "line %zu: no polynomial within the sweep's limits\n", number);
                return 1;
            }
            std::cout << line.substr(0, tab) << '\t' << p->text() << '\t' << skeinlab::mirror_homfly(*p).text() << '\n';
            continue;
        }
        if (names) {
            std::cout << line.substr(0, tab) << '\t' << skeinlab::identify_diagram(d.value()).name << '\t'
                      << skeinlab::identify_diagram(skeinlab::mirror_image(d.value())).name << '\n';
            continue;
        }
        const std::optional<skeinlab::Laurent2> p = skeinlab::homfly_polynomial(d.value());
        if (!p) {
            std::fprintf(stderr, "line %zu: coefficients beyond 64 bits\n", number);
            return 1;
        }
        std::cout << line.substr(0, tab) << '\t' << p->text() << '\t' << skeinlab::jones_from_homfly(*p).text("t", "_")
                  << '\t' << pd_text(skeinlab::pd_code(d.value())) << '\n';
    }
    return 0;
}
