/* 挨拶を表示する小さなプログラムです。 */
#include <stdio.h>

int main(void)
{
    // 画面に挨拶を出します。
    printf("こんにちは。\n"); /* 改行つき */
    return 0; // 終了します。
}
