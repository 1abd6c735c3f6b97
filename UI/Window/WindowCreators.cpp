// Creator rows of the window classes.
#include "UI/Window/WindowCreators.h"

#include "UI/Render/WindowRenderer.h"
#include "UI/Window/RendererWindow.h"
#include "UI/Window/ScreenshotSaver.h"
#include "UI/Window/UpdateTimer.h"
#include "UI/Window/WindowDrag.h"
#include "UI/Window/WindowOpener.h"
#include "UI/Window/WindowResizer.h"
#include "UI/Window/WindowSharedData.h"

namespace {
template <class T>
CObject* make() {
    return new T();
}
}  // namespace

std::span<const CreatorRow> uiWindowCreatorRows() {
    static const CreatorRow rows[] = {
        {"ui:window-shared-data", &make<CWindowSharedData>, &CWindowSharedData::registerEvents},
        {"ui:update-timer-group", &make<CUpdateTimerGroup>, &CUpdateTimerGroup::registerEvents},
        {"ui:update-timer", &make<CUpdateTimer>, &CUpdateTimer::registerEvents},
        {"ui:interval-timer", &make<CIntervalTimer>, &CUpdateTimer::registerEvents},
        {"ui:window-opener", &make<CWindowOpener>, &CWindowOpener::registerEvents},
        {"ui:window-closer", &make<CWindowCloser>, &CWindowCloser::registerEvents},
        {"ui:window-drag", &make<CWinDrag>, &CWinDrag::registerEvents},
        {"ui:screenshot-saver", &make<CScreenshotSaver>, &CScreenshotSaver::registerEvents},
        {"ui:window-resizer", &make<CWindowResizer>, &CWindowResizer::registerEvents},
        {"ui:win-resize-handle", &make<CWinResizeHandle>, &CWinResizeHandle::registerEvents},
    };
    CWindowRenderer::setOutputFactory(&CRendererWindow::open);
    return rows;
}
