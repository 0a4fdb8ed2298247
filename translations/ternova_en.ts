<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja">
<context>
    <name>Ternova</name>
    <message>
        <source>不正な浮動小数点数演算命令</source>
        <translation>Invalid floating-point operation</translation>
    </message>
    <message>
        <source>0 による浮動小数点数除算</source>
        <translation>Floating-point division by zero</translation>
    </message>
    <message>
        <source>浮動小数点数のオーバーフロー</source>
        <translation>Floating-point overflow</translation>
    </message>
    <message>
        <source>システム リソースが足りません</source>
        <translation>Not enough system resources</translation>
    </message>
    <message>
        <source>メモリが足りません</source>
        <translation>Out of memory</translation>
    </message>
    <message>
        <source>不明なエラーが発生しました</source>
        <translation>An unknown error occurred</translation>
    </message>
    <message>
        <source>ファイル &quot;%1&quot;. %2 は開けません</source>
        <extracomment>%1 is the file&apos;s full path, %2 the system&apos;s text for the error.</extracomment>
        <translation>Cannot open file &quot;%1&quot;. %2</translation>
    </message>
    <message>
        <source>ファイル &quot;%1&quot;. %2 を作成できません</source>
        <extracomment>%1 is the file&apos;s full path, %2 the system&apos;s text for the error.</extracomment>
        <translation>Cannot create file &quot;%1&quot;. %2</translation>
    </message>
    <message>
        <source>ストリームへの書き込みエラー</source>
        <translation>Error writing to the file</translation>
    </message>
    <message>
        <source>&apos;%1&apos; は浮動小数点数ではありません</source>
        <extracomment>%1 is the field of the data file exactly as read.</extracomment>
        <translation>&apos;%1&apos; is not a valid floating-point value</translation>
    </message>
    <message>
        <source>Tab区切りテキスト (.txt)</source>
        <translation>Tab-separated text (.txt)</translation>
    </message>
    <message>
        <source>すべてのファイル</source>
        <extracomment>The entry that lists every picture type at once.</extracomment>
        <translation>All pictures</translation>
    </message>
    <message>
        <source>ビットマップ</source>
        <translation>Bitmap</translation>
    </message>
    <message>
        <source>アイコン</source>
        <translation>Icon</translation>
    </message>
    <message>
        <source>エンハンス メタファイル</source>
        <translation>Enhanced metafile</translation>
    </message>
    <message>
        <source>メタファイル</source>
        <translation>Windows metafile</translation>
    </message>
    <message>
        <source>画像:</source>
        <extracomment>Caption of the preview pane while no valid picture is selected.</extracomment>
        <translation>Picture:</translation>
    </message>
    <message>
        <source>(なし)</source>
        <translation>(None)</translation>
    </message>
    <message>
        <source>画像が不正です</source>
        <translation>Invalid picture</translation>
    </message>
    <message>
        <source>画像が大きすぎてプレビューできません</source>
        <extracomment>In place of a sound picture that would take the preview too long (or too much memory) to show.</extracomment>
        <translation>The picture is too large to preview</translation>
    </message>
    <message>
        <source>プレビュー</source>
        <extracomment>The preview button&apos;s tip and the preview window&apos;s title.</extracomment>
        <translation>Preview</translation>
    </message>
    <message>
        <source>Row %1</source>
        <extracomment>%1 is the row number of the sample under the mouse.</extracomment>
        <translation>Row %1</translation>
    </message>
    <message>
        <source>(空欄)</source>
        <extracomment>Legend entry for the samples whose cell in the chosen column is empty.</extracomment>
        <translation>(none)</translation>
    </message>
    <message>
        <source>その他</source>
        <extracomment>Legend entry that gathers, in grey, the groups left when the colours ran out.</extracomment>
        <translation>Other</translation>
    </message>
    <message>
        <source>Group: %1</source>
        <extracomment>A line of the tip over a symbol: %1 is the legend entry of the sample&apos;s group.</extracomment>
        <translation>Group: %1</translation>
    </message>
    <message>
        <source>セルあたりの試料数</source>
        <translation>samples per cell</translation>
    </message>
    <message>
        <source>面の外の点: %1</source>
        <extracomment>%1 is how many points of samples lie outside their face (negative amounts), all four faces together.</extracomment>
        <translation>points outside their faces: %1</translation>
    </message>
    <message>
        <source>コピー</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>印刷...</source>
        <translation>Print...</translation>
    </message>
    <message>
        <source>印刷を開始できません</source>
        <extracomment>The printer (or the file printed to) could not be opened.</extracomment>
        <translation>Cannot start printing</translation>
    </message>
    <message>
        <source>UTF-16 のテキストのバイト数が奇数です</source>
        <extracomment>A file marked as UTF-16 whose last character is cut in half.</extracomment>
        <translation>The UTF-16 text has an odd number of bytes</translation>
    </message>
    <message>
        <source>UTF-16 のテキストの %1 行目に対のないサロゲート %2 があります</source>
        <extracomment>%1 is the line number, %2 the surrogate&apos;s code, e.g. U+D83D.</extracomment>
        <translation>Line %1 of the UTF-16 text has an unpaired surrogate %2</translation>
    </message>
    <message>
        <source>貼り付けたテキストの %1 行目: %2</source>
        <extracomment>A load of pasted (or dropped) text failed. %1 is the line of that text, %2 the message as for a file.</extracomment>
        <translation>Line %1 of the pasted text: %2</translation>
    </message>
    <message>
        <source>標準入力が閉じられています</source>
        <extracomment>The data were to come from standard input, and the program was started with it closed.</extracomment>
        <translation>Standard input is closed</translation>
    </message>
</context>
</TS>
