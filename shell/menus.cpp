#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWidget>

#include <map>
#include <vector>

#include "shell/event_queue.h"
#include "shell/qt_text.h"
#include "shell/shell_parts.h"
#include "shell/window_shell.h"
#include "shell/window_table.h"

namespace {

const char kCheckProperty[] = "programCheck";

struct MenuRecord {
    QPointer<QMenuBar> bar;                  // a menu bar, or
    QPointer<QMenu> popup;                   // a popup menu
    int window = -1;                         // the bar's window
    QPointer<QWidget> current;               // where items go while building
    std::vector<QPointer<QWidget>> parents;  // open submenus above `current`
};

std::map<int, MenuRecord> menus;
int menuBeingBuilt = -1;
int popupWindow = -1;  // window of the popup menu being shown

MenuRecord* findMenu(int number) {
    auto found = menus.find(number);
    if (found == menus.end() || (found->second.bar.isNull() && found->second.popup.isNull())) return nullptr;
    return &found->second;
}

MenuRecord* menuInProgress() {
    MenuRecord* menu = findMenu(menuBeingBuilt);
    return menu != nullptr && !menu->current.isNull() ? menu : nullptr;
}

QWidget* rootOf(MenuRecord& menu) {
    return menu.bar.isNull() ? static_cast<QWidget*>(menu.popup.data()) : menu.bar.data();
}

void refreshBar(MenuRecord& menu) {
    if (!menu.bar.isNull()) layoutWindow(menu.window);
}

// The mark shows what the program set, whatever Qt did on the click.
void menuItemChosen(int number, QAction* action) {
    if (action->isCheckable()) action->setChecked(action->property(kCheckProperty).toBool());
    MenuRecord* menu = findMenu(number);
    int window = menu != nullptr && !menu->bar.isNull() ? menu->window : popupWindow;
    postEvent(kEventMenu, action->data().toInt() & 0xFFFF, window, 0);
}

QMenu* addSubmenu(QWidget* parent, const std::string& title) {
    if (auto* bar = qobject_cast<QMenuBar*>(parent)) return bar->addMenu(toQString(title));
    if (auto* menu = qobject_cast<QMenu*>(parent)) return menu->addMenu(toQString(title));
    return nullptr;
}

QAction* findItem(QWidget* menu, int commandId) {
    for (QAction* action : menu->actions()) {
        if (action->data().isValid() && action->data().toInt() == commandId) return action;
        if (action->menu() != nullptr) {
            if (QAction* found = findItem(action->menu(), commandId)) return found;
        }
    }
    return nullptr;
}

QMenu* findSubmenu(QWidget* menu, const QString& title) {
    for (QAction* action : menu->actions()) {
        QMenu* submenu = action->menu();
        if (submenu == nullptr) continue;
        if (submenu->title() == title) return submenu;
        if (QMenu* found = findSubmenu(submenu, title)) return found;
    }
    return nullptr;
}

void deleteMenu(MenuRecord& menu) {
    delete menu.bar.data();
    delete menu.popup.data();
}

void freeMenu(int number) {
    auto found = menus.find(number);
    if (found == menus.end()) return;
    deleteMenu(found->second);
    menus.erase(found);
    if (menuBeingBuilt == number) menuBeingBuilt = -1;
}

}  // namespace

int createMenuBar(int number, int window) {
    freeMenu(number);
    if (number < 0 || windowFrame(window) == nullptr) return 0;
    auto* bar = new QMenuBar;
    bar->setNativeMenuBar(false);
    attachMenuBar(window, bar);
    menus[number] = MenuRecord{bar, nullptr, window, bar, {}};
    menuBeingBuilt = number;
    return 1;
}

int createPopupMenu(int number) {
    freeMenu(number);
    if (number < 0) return 0;
    auto* popup = new QMenu;
    menus[number] = MenuRecord{nullptr, popup, -1, popup, {}};
    menuBeingBuilt = number;
    return 1;
}

void beginDropDown(const std::string& title) {
    MenuRecord* menu = menuInProgress();
    if (menu == nullptr) return;
    QWidget* root = rootOf(*menu);
    QMenu* dropDown = addSubmenu(root, title);
    if (dropDown == nullptr) return;
    menu->parents.assign(1, root);
    menu->current = dropDown;
    refreshBar(*menu);
}

void menuItem(int commandId, const std::string& text) {
    MenuRecord* menu = menuInProgress();
    if (menu == nullptr) return;
    auto* action = new QAction(toQString(text), menu->current);
    action->setData(commandId);
    menu->current->addAction(action);
    int number = menuBeingBuilt;
    QObject::connect(action, &QAction::triggered, action,
                     [number, action] { menuItemChosen(number, action); });
    refreshBar(*menu);
}

void menuSeparator() {
    MenuRecord* menu = menuInProgress();
    if (menu == nullptr) return;
    auto* separator = new QAction(menu->current);
    separator->setSeparator(true);
    menu->current->addAction(separator);
    refreshBar(*menu);
}

void openSubmenu(const std::string& title) {
    MenuRecord* menu = menuInProgress();
    if (menu == nullptr) return;
    QMenu* submenu = addSubmenu(menu->current, title);
    if (submenu == nullptr) return;
    menu->parents.push_back(menu->current);
    menu->current = submenu;
    refreshBar(*menu);
}

void closeSubmenu() {
    MenuRecord* menu = menuInProgress();
    if (menu == nullptr || menu->parents.empty()) return;
    menu->current = menu->parents.back();
    menu->parents.pop_back();
}

int rebuildSubmenu(int number, const std::string& title) {
    MenuRecord* menu = findMenu(number);
    QMenu* submenu = menu != nullptr ? findSubmenu(rootOf(*menu), toQString(title)) : nullptr;
    if (submenu == nullptr) return 0;
    // Submenus own their menu actions, which clear() leaves alone.
    for (QAction* action : submenu->actions())
        if (action->menu() != nullptr) delete action->menu();
    submenu->clear();
    menu->parents.assign(1, rootOf(*menu));
    menu->current = submenu;
    menuBeingBuilt = number;
    return 1;
}

std::string menuItemText(int number, int commandId) {
    MenuRecord* menu = findMenu(number);
    QAction* item = menu != nullptr ? findItem(rootOf(*menu), commandId) : nullptr;
    return item != nullptr ? toStdString(item->text()) : std::string();
}

void releaseMenus(int window) {
    for (auto entry = menus.begin(); entry != menus.end();) {
        if (window != -1 && entry->second.window != window) {
            ++entry;
            continue;
        }
        deleteMenu(entry->second);
        if (menuBeingBuilt == entry->first) menuBeingBuilt = -1;
        entry = menus.erase(entry);
    }
}

void setMenuCheck(int number, int commandId, int on) {
    MenuRecord* menu = findMenu(number);
    QAction* item = menu != nullptr ? findItem(rootOf(*menu), commandId) : nullptr;
    if (item == nullptr) return;
    item->setProperty(kCheckProperty, on != 0);
    item->setCheckable(true);
    item->setChecked(on != 0);
}

int getMenuCheck(int number, int commandId) {
    MenuRecord* menu = findMenu(number);
    QAction* item = menu != nullptr ? findItem(rootOf(*menu), commandId) : nullptr;
    return item != nullptr && item->isCheckable() && item->isChecked() ? 1 : 0;
}

void setMenuEnabled(int number, int commandId, int on) {
    MenuRecord* menu = findMenu(number);
    QAction* item = menu != nullptr ? findItem(rootOf(*menu), commandId) : nullptr;
    if (item != nullptr) item->setEnabled(on != 0);
}

int getMenuEnabled(int number, int commandId) {
    MenuRecord* menu = findMenu(number);
    QAction* item = menu != nullptr ? findItem(rootOf(*menu), commandId) : nullptr;
    return item != nullptr && item->isEnabled() ? 1 : 0;
}

void showPopupMenu(int number, int window) {
    MenuRecord* menu = findMenu(number);
    if (menu == nullptr || menu->popup.isNull()) return;
    QPointer<QWidget> frame = windowFrame(window);
    if (frame != nullptr) {
        frame->raise();
        frame->activateWindow();
    }
    QPointer<QMenu> popup = menu->popup;
    popupWindow = window;
    popup->exec(QCursor::pos() - QPoint(1, 1));
    popupWindow = -1;
    // Without a window manager nothing gives the keyboard back to the window.
    if (frame != nullptr) frame->activateWindow();
}
