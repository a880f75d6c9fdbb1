#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace ui {
class ScrollView;
}

// Attaching refresh controls to a scroll view. The scroll view owns its controls as subviews; its
// header and footer slots refer to them weakly, so a control removed by other means leaves an
// empty slot behind.
namespace kt {

class PRRefreshHeader;
class PRRefreshFooter;

std::shared_ptr<PRRefreshHeader> pr_header(const ui::ScrollView& scrollView);
// When `header` is not the current one: removes the current one from the scroll view and inserts
// `header` (if any) as its first subview.
void setMj_header(ui::ScrollView& scrollView, const std::shared_ptr<PRRefreshHeader>& header);
std::shared_ptr<PRRefreshFooter> pr_footer(const ui::ScrollView& scrollView);
void setMj_footer(ui::ScrollView& scrollView, const std::shared_ptr<PRRefreshFooter>& footer);

// Older names of the four above.
inline std::shared_ptr<PRRefreshHeader> header(const ui::ScrollView& s) { return pr_header(s); }
inline void setHeader(ui::ScrollView& s, const std::shared_ptr<PRRefreshHeader>& h) { setMj_header(s, h); }
inline std::shared_ptr<PRRefreshFooter> footer(const ui::ScrollView& s) { return pr_footer(s); }
inline void setFooter(ui::ScrollView& s, const std::shared_ptr<PRRefreshFooter>& f) { setMj_footer(s, f); }

// Rows of a table view or items of a collection view, over all sections; 0 for other scroll views.
int64_t pr_totalDataCount(ui::ScrollView& scrollView);

// Called with the total data count after every reload of a table or collection view.
using PRReloadDataBlock = std::function<void(int64_t totalDataCount)>;
PRReloadDataBlock pr_reloadDataBlock(const ui::ScrollView& scrollView);
void setMj_reloadDataBlock(ui::ScrollView& scrollView, PRReloadDataBlock block);
void executeReloadDataBlock(ui::ScrollView& scrollView);

}  // namespace kt
