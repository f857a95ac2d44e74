// The main window's record views: the category tree selects what the list shows, a click on
// a list row points the detail panel at it, and ticks made in the list or the tree reach the
// record model and the other view, so the export finds exactly the ticked records.
#include "MainDlg.h"

#include "app/core/RecoveryState.h"
#include "ui/CContactInfoBoard.h"
#include "ui/CListViewCheck1.h"
#include "ui/CTreeViewEx1.h"
#include "ui/Messages.h"

#include <QCheckBox>

namespace {

QString fromNarrow(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

bool CMainDlg::showCategory() {
    HTREEITEM row = tree_->GetSelectedItem();
    if (!row)
        return true;
    if (row == rootRow_)
        return false; // the root row is not ours to handle
    const CategoryInfo* info = tree_->GetItemData(row);
    if (!info || info->hasData == 0)
        return true;

    currentCategory_ = row;
    list_->Header()->TickAllBox()->setChecked(tree_->GetCheckState(row));

    list_->DeleteAllItems();
    list_->DeleteAllColumns();

    if (info->kind == 0) {
        list_->setGeometry(225, 32, 507, 576);
        list_->InsertColumn(QStringLiteral("Name"), 150);
        list_->InsertColumn(QStringLiteral("Phone"), 170);
        list_->InsertColumn(QStringLiteral("Company"), 180);
        list_->InsertColumn(QStringLiteral("Email"), 150);

        core::RecoveryState& s = *state_;
        // Recovered rows first, in line order; a line without TAB has no row.
        if (!s.contactResultText.empty()) {
            for (ContactRecord* rec : s.recoveredContacts) {
                const auto split = core::splitRecoveredLine(rec);
                if (!split)
                    continue;
                const int r = list_->AddRow(
                    {fromNarrow(split->name), fromNarrow(split->number), QString(), QString()});
                list_->SetItemData(r, rec);
                list_->SetCheckState(r, rec->checked != 0);
            }
        }
        // Then the live contacts in the reader's order.
        for (ContactRecord* rec = s.contactList; rec; rec = rec->next) {
            const core::ContactSummary sum = core::contactSummary(s, rec);
            const int r = list_->AddRow({fromNarrow(sum.name), fromNarrow(sum.phone),
                                         fromNarrow(sum.company), fromNarrow(sum.email)});
            list_->SetItemData(r, rec);
            list_->SetCheckState(r, rec->checked != 0);
        }
    }

    if (!panel_) {
        panel_ = new CContactInfoBoard(this);
        panel_->SetRecordSource(&state_->dataRowList, &state_->mimetypeList);
    }
    list_->SetRecordKind(1);
    list_->show();
    panel_->show();
    kmsg::sendMessage(
        panel_, kmsg::ShowContact, 0,
        reinterpret_cast<qintptr>(list_->GetItemCount() > 0 ? list_->GetItemData(0) : nullptr));
    return true;
}

void CMainDlg::onListClick(int row) {
    const int selected = row >= 0 ? row : list_->GetSelectedIndex();
    if (selected < 0)
        return;
    if (currentCategory_ == contactsRow_ && panel_) {
        kmsg::sendMessage(panel_, kmsg::ShowContact, 0,
                          reinterpret_cast<qintptr>(list_->GetItemData(selected)));
    }
}

void CMainDlg::onRowTickChanged(int row, int ticked) {
    if (currentCategory_ == contactsRow_) {
        // Rows and records are linked by identity; a row whose record is in neither list
        // changes nothing, and the ticks of the tree are recomputed all the same.
        auto* rec = static_cast<ContactRecord*>(
            row >= 0 && row < list_->GetItemCount() ? list_->GetItemData(row) : nullptr);
        if (rec)
            state_->setChecked(rec, ticked);
        tree_->SetCheckState(contactsRow_, list_->Header()->TickAllBox()->isChecked());
    }
    tree_->SetCheckState(rootRow_, tree_->GetCheckState(contactsRow_));
}

void CMainDlg::onCategoryTickChanged(HTREEITEM row, int ticked) {
    if (row && row == currentCategory_) {
        list_->Header()->TickAllBox()->setChecked(ticked != 0);
        for (int r = 0; r < list_->GetItemCount(); ++r)
            list_->SetCheckState(r, ticked != 0);
    }
    if (row == contactsRow_)
        state_->setAllTicked(ticked);
}

void CMainDlg::clearViews() {
    if (list_) {
        list_->DeleteAllItems();
        list_->DeleteAllColumns();
    }
    if (panel_) {
        delete panel_;
        panel_ = nullptr;
    }
}
