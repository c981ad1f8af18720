#include "ui/screens/SheetPresenter.h"

#include <QDialog>

Binding<bool> SheetPresenter::flagBinding(ContentState& state, ContentState::Field flag)
{
    switch (flag) {
    case ContentState::Field::ShowUserGuide:
        return {[&state] { return state.showUserGuide(); }, [&state](bool value) { state.setShowUserGuide(value); }};
    case ContentState::Field::ShowNewPlaylistPrompt:
        return {[&state] { return state.showNewPlaylistPrompt(); },
                [&state](bool value) { state.setShowNewPlaylistPrompt(value); }};
    default:
        break;
    }
    Q_ASSERT_X(false, "SheetPresenter", "not a sheet flag");
    return Binding<bool>::constant(false);
}

SheetPresenter::SheetPresenter(QDialog& sheet, ContentState& state, ContentState::Field flag)
    : QObject(&sheet)
    , m_sheet(sheet)
    , m_shown(flagBinding(state, flag))
{
    connect(&state, &ContentState::changed, this, [this, flag](ContentState::Field changed) {
        if (changed == flag)
            follow();
    });
    // Escape and the sheet's own buttons end in finished(); hiding it because
    // the flag went false does not, and then the flag is false already.
    connect(&sheet, &QDialog::finished, this, [this] {
        if (m_shown.get())
            m_shown.set(false);
    });
    follow();
}

void SheetPresenter::follow()
{
    const bool shown = m_shown.get();
    if (shown && !m_sheet.isVisible())
        m_sheet.show();  // over the window, inside it
    else if (!shown && m_sheet.isVisible())
        m_sheet.hide();
}
