#pragma once

namespace verna::shell {

// How the companies of one kind of business typically look, as annual figures; the demo varies
// each company around them, so that indicators spread within a branch and differ between branches.
struct DemoIndustry {
    double goodsShare;     // sales of goods bought for resale / all sales
    double goodsMargin;    // (sales of goods - their cost) / sales of goods
    double valueAdded;     // value added / sales
    double fixedShare;     // long-term assets / total assets
    double inventoryDays;  // inventories / sales x 360
    double receivableDays; // short-term receivables / sales x 360
    double payableDays;    // short-term liabilities / sales x 360
    double cashDays;       // cash and bank accounts / sales x 360
    double margin;         // operating result / sales
    double marginSpread;   // how far the companies of the branch stray from that margin, as a factor's log
    double equityShare;    // equity / total assets
    double longLoanShare;  // long-term bank loans / all bank loans
    double depreciation;   // annual depreciation / long-term assets
};

// The profile of an OKEČ division (its two-digit number).
const DemoIndustry &demoIndustry(int division);

// How many of a hundred companies or so take the division as their main branch: a few branches
// hold enough companies for a comparison within the branch, the rest stay small.
int demoDivisionWeight(int division);

} // namespace verna::shell
