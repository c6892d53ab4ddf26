#include "playback/LogList.h"

#include <algorithm>

namespace wendmoor {

LogListView orderLogs(const QStringList& oldestFirst, int order)
{
    LogListView view;
    if (order != 0 && order != 1)
        return view;
    const auto firstUndated = std::find_if_not(oldestFirst.begin(), oldestFirst.end(), isDatedLog);
    const auto dated = static_cast<int>(firstUndated - oldestFirst.begin());
    view.entries = oldestFirst;
    if (order == 0)
        std::reverse(view.entries.begin(), view.entries.begin() + dated);
    if (!view.entries.isEmpty())
        view.selected = dated == 0 ? static_cast<int>(view.entries.size()) - 1 : (order == 0 ? 0 : dated - 1);
    return view;
}

} // namespace wendmoor
