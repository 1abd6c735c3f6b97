# Makes the editor definition the window tests open instead of the shipped
# one: the same document with a window resizer on the main window's renderer
# and a resize handle as the last child of its root view (drawn over the
# corner, hit before what lies beneath).
#   cmake -DSOURCE=UserInterface.xml -DOUTPUT=TestEditor.xml -P test-definition.cmake
# The one anchor is the main window's root view (unique-name
# "app-main-window"), so edits of other regions of the document leave it.
file(READ ${SOURCE} text)
string(FIND "${text}" [[unique-name="app-main-window"]] mark)
if(mark LESS 0)
    message(FATAL_ERROR "test-definition.cmake: the editor definition has no root view named app-main-window")
endif()
string(SUBSTRING "${text}" 0 ${mark} head)
string(SUBSTRING "${text}" ${mark} -1 tail)
string(FIND "${head}" "<ui:window-drag" open REVERSE)
string(FIND "${tail}" "</ui:window-drag>" close)
if(open LESS 0 OR close LESS 0)
    message(FATAL_ERROR "test-definition.cmake: the main window's root view is not a ui:window-drag element")
endif()
string(SUBSTRING "${head}" 0 ${open} before_root)
string(SUBSTRING "${head}" ${open} -1 root_start)
string(SUBSTRING "${tail}" 0 ${close} root_rest)
string(SUBSTRING "${tail}" ${close} -1 after_root)
set(resizer [[<ui:window-resizer name="window-resizer" min-window-width="300" min-window-height="180"
                           max-window-width="900" max-window-height="600"/>
        ]])
set(handle [[  <ui:win-resize-handle name="resize-handle" width="12" height="26" image-set="is.winresize" color="Button"
                                placement="window-overlay" alignment-h="right" alignment-v="bottom"/>
        ]])
file(WRITE ${OUTPUT} "${before_root}${resizer}${root_start}${root_rest}${handle}${after_root}")
