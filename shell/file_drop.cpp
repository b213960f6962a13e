#include "shell/file_drop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <map>
#include <vector>

#include "shell/controls.h"
#include "shell/event_queue.h"

namespace {

static_assert(kDropCopy == Qt::CopyAction && kDropMove == Qt::MoveAction && kDropLink == Qt::LinkAction,
              "drop action bits are Qt's");

struct DropEntry {
    int format = 0;
    int actions = 0;
};

struct DropTarget {
    QPointer<QWidget> widget;
    QPointer<QObject> filter;
    std::vector<DropEntry> entries;
    // The drag in progress.
    bool accepted = false;
    int matchedActions = 0;
};

// Attached to the event and released with it.
struct DropData {
    int format = 0;
    int privateFormat = 0;
    int effect = 0;
    int x = 0, y = 0;
    std::vector<std::string> names;
};

std::map<int, DropTarget> dropTargets;  // by control number

// The local path a file URL stands for, byte for byte: its escapes are decoded to raw bytes,
// not through UTF-8, so that any name the system allows survives (bytes that are no UTF-8, a
// line feed). Empty when the URL names no local file.
std::string localPath(const QUrl& url) {
    if (!url.isLocalFile()) return "";
    const QString host = url.host(QUrl::FullyEncoded);
    const QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (path.isEmpty()) return "";
    return (host.isEmpty() ? std::string() : "//" + host.toStdString()) + path.toStdString();
}

// The local paths of a file list, in order; none unless every entry is a local file.
std::vector<std::string> localFileNames(const QMimeData* data) {
    std::vector<std::string> names;
    if (data == nullptr || !data->hasUrls()) return names;
    for (const QUrl& url : data->urls()) {
        std::string name = localPath(url);
        if (name.empty()) return {};
        names.push_back(std::move(name));
    }
    return names;
}

bool canDeliver(const QMimeData* data, int format) {
    return format == kFormatFileList && !localFileNames(data).empty();
}

// The action for a drop, from what the target allows, what the source offers and the keys held.
int chooseEffect(int allowed, int offered, Qt::KeyboardModifiers keys) {
    const int shared = allowed & offered;
    const bool shift = keys.testFlag(Qt::ShiftModifier), control = keys.testFlag(Qt::ControlModifier),
               alt = keys.testFlag(Qt::AltModifier);
    if ((shared & kDropLink) && ((control && shift) || (alt && !control && !shift))) return kDropLink;
    if ((shared & kDropMove) && ((shift && !control && !alt) || !(shared & kDropCopy))) return kDropMove;
    if (shared & kDropCopy) return kDropCopy;
    if (shared & kDropLink) return kDropLink;
    return 0;
}

// Reports the effect to the source; no effect refuses the drag (the no-drop cursor).
int answerDrag(const DropTarget& target, QDropEvent* drag) {
    const int effect = target.accepted ? chooseEffect(target.matchedActions, drag->possibleActions().toInt(),
                                                      drag->modifiers())
                                       : 0;
    if (effect == 0) {
        drag->setDropAction(Qt::IgnoreAction);
        drag->ignore();
    } else {
        drag->setDropAction(Qt::DropAction(effect));
        drag->accept();
    }
    return effect;
}

void matchDrag(DropTarget& target, const QDropEvent* drag) {
    target.accepted = false;
    target.matchedActions = 0;
    for (const DropEntry& entry : target.entries) {
        if ((entry.actions & drag->possibleActions().toInt()) == 0 ||
            !canDeliver(drag->mimeData(), entry.format))
            continue;
        target.accepted = true;
        target.matchedActions = entry.actions;
        return;
    }
}

void postDrop(int control, int effect, const QDropEvent* drop) {
    auto* data = new DropData;
    data->format = kFormatFileList;
    data->effect = effect;
    data->x = drop->position().toPoint().x();
    data->y = drop->position().toPoint().y();
    data->names = localFileNames(drop->mimeData());
    postEvent(kEventFilesDropped, control, controlWindow(control), 0, data,
              [](void* record) { delete static_cast<DropData*>(record); });
}

bool handleDragEvent(int control, QEvent* event) {
    auto found = dropTargets.find(control);
    if (found == dropTargets.end()) return false;
    DropTarget& target = found->second;
    switch (event->type()) {
        case QEvent::DragEnter:
            matchDrag(target, static_cast<QDropEvent*>(event));
            answerDrag(target, static_cast<QDropEvent*>(event));
            return true;
        case QEvent::DragMove:
            answerDrag(target, static_cast<QDropEvent*>(event));
            return true;
        case QEvent::DragLeave:
            target.accepted = false;
            return true;
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const int effect = answerDrag(target, drop);
            target.accepted = false;
            if (effect != 0 && !localFileNames(drop->mimeData()).empty()) postDrop(control, effect, drop);
            return true;
        }
        default:
            return false;
    }
}

class DropFilter : public QObject {
   public:
    explicit DropFilter(int control, QObject* parent) : QObject(parent), control_(control) {}
    bool eventFilter(QObject*, QEvent* event) override { return handleDragEvent(control_, event); }

   private:
    int control_;
};

void detachDropTarget(int control) {
    auto found = dropTargets.find(control);
    if (found == dropTargets.end()) return;
    DropTarget& target = found->second;
    if (!target.widget.isNull()) target.widget->setAcceptDrops(false);
    delete target.filter.data();
    dropTargets.erase(found);
}

// The control's target, made anew when the number now holds another widget.
DropTarget& attachDropTarget(int control, QWidget* widget) {
    auto found = dropTargets.find(control);
    if (found != dropTargets.end() && found->second.widget == widget) return found->second;
    detachDropTarget(control);
    DropTarget& target = dropTargets[control];
    target.widget = widget;
    target.filter = new DropFilter(control, widget);
    widget->installEventFilter(target.filter);
    widget->setAcceptDrops(true);
    return target;
}

}  // namespace

int enableFileDrop(int control, int format, int actions) {
    auto* widget = static_cast<QWidget*>(controlHandle(control));
    if (widget == nullptr) return 0;
    actions &= kDropCopy | kDropMove | kDropLink;
    DropTarget& target = attachDropTarget(control, widget);
    std::vector<DropEntry>& entries = target.entries;
    auto entry = std::find_if(entries.begin(), entries.end(),
                              [format](const DropEntry& e) { return e.format == format; });
    if (actions == 0) {
        if (entry != entries.end()) entries.erase(entry);
        if (entries.empty()) detachDropTarget(control);
    } else if (entry != entries.end()) {
        entry->actions = actions;
    } else {
        entries.push_back({format, actions});
    }
    return 1;
}

std::vector<std::string> droppedFileNames() {
    const int kind = eventKind();
    if (kind != kEventFilesDropped && kind != kEventFilesDroppedOnWindow) return {};
    const auto* data = static_cast<const DropData*>(eventData());
    if (data == nullptr || data->format != kFormatFileList) return {};
    return data->names;
}
