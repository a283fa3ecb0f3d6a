#include "shell/demoindustry.h"

#include <map>

namespace verna::shell {

namespace {

// goods, goods margin, value added, fixed share, inventory / receivable / payable / cash days,
// margin and its spread, equity share, long-term loans, depreciation.
constexpr DemoIndustry kMachinery{0.05, 0.15, 0.34, 0.48, 95, 75, 62, 12, 0.09, 0.4, 0.48, 0.45, 0.09};
constexpr DemoIndustry kProcess{0.04, 0.15, 0.30, 0.60, 60, 60, 55, 10, 0.09, 0.4, 0.55, 0.55, 0.08};
constexpr DemoIndustry kLightIndustry{0.06, 0.15, 0.30, 0.45, 70, 55, 50, 10, 0.07, 0.4, 0.42, 0.40, 0.09};
constexpr DemoIndustry kFood{0.08, 0.12, 0.22, 0.55, 35, 38, 42, 10, 0.065, 0.4, 0.45, 0.50, 0.08};
constexpr DemoIndustry kConstruction{0.05, 0.12, 0.32, 0.28, 22, 85, 78, 22, 0.06, 0.4, 0.32, 0.30, 0.14};
constexpr DemoIndustry kWholesale{0.90, 0.11, 0.08, 0.18, 45, 55, 52, 12, 0.035, 0.4, 0.28, 0.25, 0.12};
constexpr DemoIndustry kRetail{0.92, 0.19, 0.14, 0.45, 38, 6, 38, 10, 0.035, 0.4, 0.32, 0.50, 0.08};
constexpr DemoIndustry kMotorTrade{0.70, 0.14, 0.15, 0.30, 50, 25, 40, 10, 0.04, 0.4, 0.30, 0.35, 0.10};
constexpr DemoIndustry kHotels{0.35, 0.55, 0.40, 0.75, 8, 15, 30, 15, 0.08, 0.5, 0.45, 0.70, 0.06};
constexpr DemoIndustry kTransport{0.05, 0.15, 0.40, 0.60, 8, 50, 40, 15, 0.08, 0.4, 0.40, 0.60, 0.12};
constexpr DemoIndustry kUtilities{0.02, 0.10, 0.40, 0.82, 15, 50, 40, 15, 0.12, 0.3, 0.62, 0.75, 0.06};
constexpr DemoIndustry kRealEstate{0.02, 0.10, 0.60, 0.90, 10, 40, 40, 30, 0.22, 0.4, 0.50, 0.85, 0.04};
constexpr DemoIndustry kServices{0.10, 0.15, 0.55, 0.25, 5, 70, 35, 35, 0.11, 0.5, 0.50, 0.40, 0.20};
constexpr DemoIndustry kAgriculture{0.05, 0.12, 0.30, 0.65, 120, 40, 45, 10, 0.05, 0.6, 0.60, 0.50, 0.07};

struct Division {
    int weight;
    const DemoIndustry *industry;
};

const std::map<int, Division> &divisions()
{
    // Machinery (the reference company's branch), food, construction, wholesale and retail are
    // the large branches; a few more are middling.
    static const std::map<int, Division> table = {
        {1, {1, &kAgriculture}},  {2, {1, &kAgriculture}},   {10, {1, &kProcess}},      {15, {20, &kFood}},
        {17, {1, &kLightIndustry}}, {20, {1, &kLightIndustry}}, {22, {1, &kLightIndustry}}, {24, {1, &kProcess}},
        {25, {1, &kProcess}},     {26, {1, &kProcess}},      {27, {1, &kProcess}},      {28, {2, &kMachinery}},
        {29, {20, &kMachinery}},  {31, {1, &kMachinery}},    {34, {1, &kMachinery}},    {36, {1, &kLightIndustry}},
        {40, {1, &kUtilities}},   {41, {1, &kUtilities}},    {45, {20, &kConstruction}}, {50, {2, &kMotorTrade}},
        {51, {20, &kWholesale}},  {52, {20, &kRetail}},      {55, {1, &kHotels}},       {60, {2, &kTransport}},
        {63, {1, &kTransport}},   {70, {1, &kRealEstate}},   {72, {1, &kServices}},     {74, {2, &kServices}},
    };
    return table;
}

} // namespace

const DemoIndustry &demoIndustry(int division)
{
    const auto it = divisions().find(division);
    return it == divisions().end() ? kLightIndustry : *it->second.industry;
}

int demoDivisionWeight(int division)
{
    const auto it = divisions().find(division);
    return it == divisions().end() ? 1 : it->second.weight;
}

} // namespace verna::shell
