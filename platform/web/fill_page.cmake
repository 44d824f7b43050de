# Fills one of the page's templates (the page, its manifest) with the
# program's values:
#   cmake -D VALUES=program.json -D IN=index.html.in -D OUT=index.html -P fill_page.cmake
file(READ ${VALUES} values)
string(JSON caption GET "${values}" caption)
string(JSON VORMO_NAME GET "${values}" name)
string(JSON VORMO_WIDTH GET "${values}" width)
string(JSON VORMO_HEIGHT GET "${values}" height)
# The caption as a JSON string's content ...
string(REPLACE "\\" "\\\\" VORMO_CAPTION_JSON "${caption}")
string(REPLACE "\"" "\\\"" VORMO_CAPTION_JSON "${VORMO_CAPTION_JSON}")
# ... and as text in the page.
string(REPLACE "&" "&amp;" caption "${caption}")
string(REPLACE "<" "&lt;" caption "${caption}")
string(REPLACE ">" "&gt;" caption "${caption}")
string(REPLACE "\"" "&quot;" VORMO_CAPTION "${caption}")
configure_file(${IN} ${OUT} @ONLY)
