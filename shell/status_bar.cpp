#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <map>
#include <vector>

#include "shell/qt_text.h"
#include "shell/shell_parts.h"
#include "shell/window_shell.h"
#include "shell/window_table.h"

namespace {

constexpr size_t kLargestFieldCount = 256;
constexpr int kSmallestBarHeight = 18;

struct StatusField {
    int width = 0;  // pixels
    QLabel* label = nullptr;
};

struct StatusBarRecord {
    QPointer<QWidget> bar;
    int window = -1;
    std::vector<StatusField> fields;
    int laidOutWidth = -1, laidOutHeight = -1;  // client size at the last layout
};

std::map<int, StatusBarRecord> statusBars;
int barTakingFields = -1;

StatusBarRecord* findStatusBar(int number) {
    auto found = statusBars.find(number);
    return found == statusBars.end() || found->second.bar.isNull() ? nullptr : &found->second;
}

int barHeight(const QWidget* bar) {
    return std::max(kSmallestBarHeight, bar->fontMetrics().height() + 6);
}

// Field edges are running sums of the widths; shared fields split what the fixed ones leave.
void placeFields(StatusBarRecord& record) {
    int height = record.bar->height();
    int fixed = 0, shares = 0;
    for (const StatusField& field : record.fields) {
        if (field.width == kStatusFieldShare) ++shares;
        if (field.width > 0) fixed += field.width;
    }
    const int share = shares > 0 ? std::max(0, record.bar->width() - fixed) / shares : 0;
    int left = 0;
    for (StatusField& field : record.fields) {
        int fieldWidth = field.width == kStatusFieldShare ? share : std::max(0, field.width);
        field.label->setGeometry(left, 1, fieldWidth, height - 1);
        left += fieldWidth;
    }
}

// A new record's laid-out size of -1 x -1 lays it out the first time.
void layoutStatusBar(StatusBarRecord& record) {
    QWidget* client = windowClient(record.window);
    if (client == nullptr) return;
    if (client->width() == record.laidOutWidth && client->height() == record.laidOutHeight) return;
    record.laidOutWidth = client->width();
    record.laidOutHeight = client->height();
    int height = barHeight(record.bar);
    record.bar->setGeometry(0, client->height() - height, client->width(), height);
    record.bar->raise();
    placeFields(record);
}

void applyFieldLook(QLabel* label, int flags) {
    label->setFrameStyle((flags & kStatusNoBorder) != 0 ? QFrame::NoFrame : QFrame::Panel | QFrame::Sunken);
    label->setAlignment(((flags & kStatusRightAligned) != 0 ? Qt::AlignRight : Qt::AlignLeft) |
                        Qt::AlignVCenter);
}

}  // namespace

int createStatusBar(int number, int window) {
    auto old = statusBars.find(number);
    if (old != statusBars.end()) {
        delete old->second.bar.data();
        statusBars.erase(old);
    }
    QWidget* client = windowClient(window);
    if (number < 0 || client == nullptr) return 0;
    auto* bar = new QWidget(client);
    bar->setAttribute(Qt::WA_NoMousePropagation);
    StatusBarRecord& record = statusBars[number];
    record = StatusBarRecord{bar, window, {}, -1, -1};
    layoutStatusBar(record);
    bar->show();
    barTakingFields = number;
    return 1;
}

void addStatusField(int width) {
    StatusBarRecord* record = findStatusBar(barTakingFields);
    if (record == nullptr || record->fields.size() >= kLargestFieldCount) return;
    auto* label = new QLabel(record->bar);
    label->setTextFormat(Qt::PlainText);
    label->setIndent(2);
    applyFieldLook(label, 0);
    label->show();
    record->fields.push_back(StatusField{width, label});
    placeFields(*record);
}

void setStatusText(int number, int field, const std::string& text, int flags) {
    StatusBarRecord* record = findStatusBar(number);
    if (record == nullptr || field < 0 || static_cast<size_t>(field) >= record->fields.size()) return;
    StatusField& target = record->fields[static_cast<size_t>(field)];
    applyFieldLook(target.label, flags);
    target.label->setText(toQString(text));
    if ((flags & kStatusNoBorder) != 0) target.label->repaint();
}

void layoutStatusBars(int window) {
    for (auto& [number, record] : statusBars) {
        if (record.window == window && !record.bar.isNull()) layoutStatusBar(record);
    }
}

void releaseStatusBars(int window) {
    for (auto entry = statusBars.begin(); entry != statusBars.end();) {
        if (window != -1 && entry->second.window != window) {
            ++entry;
            continue;
        }
        delete entry->second.bar.data();
        if (barTakingFields == entry->first) barTakingFields = -1;
        entry = statusBars.erase(entry);
    }
}
