# Fills the page's template with the program's values:
#   cmake -D VALUES=program.json -D IN=index.html.in -D OUT=index.html -P fill_page.cmake
file(READ ${VALUES} values)
string(JSON caption GET "${values}" caption)
string(JSON VORMO_WIDTH GET "${values}" width)
string(JSON VORMO_HEIGHT GET "${values}" height)
# The caption is text in the page.
string(REPLACE "&" "&amp;" caption "${caption}")
string(REPLACE "<" "&lt;" caption "${caption}")
string(REPLACE ">" "&gt;" VORMO_CAPTION "${caption}")
configure_file(${IN} ${OUT} @ONLY)
