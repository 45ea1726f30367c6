#!/usr/bin/env python3
"""Writes lyrics/WordTable.inc, the vocabulary the lyric writer sings.

Each row of WORDS below is

    class  variants  category  display  reading

class:    A every song type, P pops, C children's songs, G ghost songs
variants: * every variant; for pops rows also Y (Young Pops only),
          D (Adult Pops only) or O (Ocean Song only)
category: 1 catch phrase, 2 modifier, 3 verb phrase, 4 predicate, 5 person,
          6 linking word, 7 small thing, 8 place, 9 thing, 10 time,
          11 particle, 12 trailing particle, 13 "but", 14 "sunset", 15 shout

The reading is what is sung, one character per note, so it is written the
way it sounds: a long-vowel mark and a small "っ" become the vowel of the
syllable before them (ミッドナイト -> みいどないと), the particle は is sung
わ, and the small ゃ ゅ ょ ぇ ぉ ぃ keep a note of their own.

The tool refuses to write the table unless every count of the vocabulary
(per category and song class, per pops variant), every reading rule and the
code page of every text are right. Readings of words written only in kana
are checked against the spelling itself.

Run: python3 tools/make_word_table.py [--check]. With --check it only tells
whether lyrics/WordTable.inc is up to date. Commit the output.
"""

import collections
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "lyrics", "WordTable.inc")

WORDS = """
# 1 catch phrases: the hooks a chorus is built on
P * 1 シェイク しぇいく
P * 1 ダンシング だんしんぐ
P * 1 ハートビート はあとびいと
P * 1 ミッドナイト みいどないと
P * 1 ロマンスをもう一度 ろまんすをもういちど
P * 1 フォーエバーラブ ふぉおえばあらぶ
P * 1 君だけのラブソング きみだけのらぶそんぐ
P * 1 ラブ らぶ
P Y 1 アタック あたあく
P Y 1 ジャンプ じゃんぷ
P Y 1 キラキラ輝くスター きらきらかがやくすたあ
P Y 1 ハッピーエンドを探して はあぴいえんどをさがして
P D 1 雨のメランコリー あめのめらんこりい
P O 1 サマービーチ さまあびいち
P O 1 真夏のマリンブルー まなつのまりんぶるう
G * 1 ドラキュラ どらきゅら
G * 1 ゾンビが踊る真夜中 ぞんびがおどるまよなか
G * 1 ワッ わあ
G * 1 ヒュードロドロ ひゅうどろどろ
G * 1 うらめしやうらめしや うらめしやうらめしや

# 2 modifiers
A * 2 小さな ちいさな
P * 2 確かな たしかな
P * 2 優しい やさしい
P * 2 甘い あまい
P * 2 切ない せつない
P * 2 遠い とおい
P * 2 青い あおい
P * 2 白い しろい
P * 2 赤い あかい
P * 2 熱い あつい
P * 2 儚い はかない
P * 2 まぶしい まぶしい
P * 2 新しい あたらしい
P * 2 懐かしい なつかしい
P * 2 静かな しずかな
P * 2 素敵な すてきな
P * 2 秘密の ひみつの
P * 2 夢見る ゆめみる
P * 2 恋する こいする
P * 2 輝く かがやく
P * 2 揺れる ゆれる
P * 2 悲しい かなしい
P * 2 愛しい いとしい
P * 2 眠れない ねむれない
P * 2 この この
P Y 2 キラキラの きらきらの
P Y 2 はじけるような はじけるような
P Y 2 ときめく ときめく
P D 2 ほろ苦い ほろにがい
P D 2 大人の おとなの
P O 2 潮騒の しおさいの
P O 2 波打つ なみうつ
P O 2 南の みなみの
P O 2 碧い あおい
P O 2 潮風の しおかぜの
C * 2 ママの ままの
C * 2 かわいい かわいい
C * 2 ちっちゃな ちいちゃな
C * 2 あの あの
G * 2 冷たい つめたい
G * 2 青白い あおじろい
G * 2 恐ろしい おそろしい
G * 2 不気味な ぶきみな
G * 2 真っ暗な まあくらな
G * 2 呪われた のろわれた

# 3 verb phrases
A * 3 歌おうよ うたおうよ
P * 3 踊るよ おどるよ
P * 3 抱きしめて だきしめて
P * 3 同じ夢を見ていた おなじゆめをみていた
P * 3 泣かないで なかないで
P * 3 夢に向かって走り出す ゆめにむかあてはしりだす
P * 3 翼を広げて空を飛ぶ つばさをひろげてそらをとぶ
P * 3 手をつないで てをつないで
P * 3 見つめてる みつめてる
P * 3 明日へ向かって歩いてゆく あしたえむかあてあるいてゆく
P * 3 振り向いて微笑んだ ふりむいてほほえんだ
P * 3 君を想う きみをおもう
P Y 3 駆け抜ける かけぬける
P Y 3 夜明けまで踊り明かそう よあけまでおどりあかそう
P D 3 グラスを傾けて ぐらすをかたむけて
P O 3 波に乗って君に会いにゆく なみにのおてきみにあいにゆく
P O 3 帆を上げる ほをあげる
P O 3 貝を拾った かいをひろおた
C * 3 お花を摘んだ おはなをつんだ
C * 3 原っぱでかけっこした はらあぱでかけえこした
C * 3 おうたをうたう おうたをうたう
C * 3 お空までブランコこいだ おそらまでぶらんここいだ
C * 3 森でどんぐり拾った もりでどんぐりひろおた
C * 3 みんなで手をたたこう みんなでてをたたこう
C * 3 おやつを食べた おやつをたべた
G * 3 夜な夜なさまよう よなよなさまよう
G * 3 呪ってやる のろおてやる
G * 3 暗い廊下をひたひた歩く くらいろうかをひたひたあるく
G * 3 墓から出る はかからでる
G * 3 闇に消える やみにきえる
G * 3 井戸の底ですすり泣く いどのそこですすりなく
G * 3 手招きする てまねきする
G * 3 するすると首を伸ばす するするとくびをのばす
G * 3 恨みを抱いて化けて出る うらみをいだいてばけてでる
G * 3 棺を開ける ひつぎをあける

# 4 predicates: the words that close a line
P * 4 揺れている ゆれている
P * 4 わからない わからない
P * 4 輝いて かがやいて
P * 4 消えてゆく きえてゆく
P * 4 愛してる あいしてる
P * 4 忘れない わすれない
P * 4 待っている まあている
P * 4 泣いている ないている
P * 4 笑ってる わらあてる
P * 4 信じてる しんじてる
P * 4 探してる さがしてる
P * 4 帰れない かえれない
P * 4 止まらない とまらない
P * 4 届かない とどかない
P * 4 会いたい あいたい
P * 4 離さない はなさない
P * 4 きらめいて きらめいて
P * 4 ときめいて ときめいて
P * 4 夢みたい ゆめみたい
P * 4 恋しくて こいしくて
P * 4 そばにいて そばにいて
P * 4 待つ まつ
P * 4 ふるえてる ふるえてる
P * 4 きっと会える きいとあえる
P * 4 いつまでも離れない いつまでもはなれない
P * 4 好き すき
P * 4 叶えたい かなえたい
P * 4 ひとりきり ひとりきり
P * 4 さよなら さよなら
P * 4 戻れない もどれない
P * 4 言えなくて いえなくて
P * 4 胸が痛い むねがいたい
P * 4 泣く なく
P * 4 色あせない いろあせない
P * 4 溶けてゆく とけてゆく
P * 4 永遠に えいえんに
P * 4 ありがとう ありがとう
P * 4 終わらない おわらない
P * 4 抱きしめたい だきしめたい
P Y 4 はじけてる はじけてる
P Y 4 止められない とめられない
P Y 4 走りたい はしりたい
P Y 4 大好きだよ だいすきだよ
P D 4 酔いしれて よいしれて
P D 4 酔う よう
P D 4 口紅が滲む くちべにがにじむ
P O 4 波にゆれる なみにゆれる
P O 4 寄せては返す よせてわかえす
P O 4 潮が満ちる しおがみちる
P O 4 沈んでゆく しずんでゆく
P O 4 漂っている ただよおている
P O 4 青く光る あおくひかる
C * 4 遊ぼうよ あそぼうよ
C * 4 楽しいな たのしいな
C * 4 うれしいな うれしいな
C * 4 おいしいね おいしいね
C * 4 すき すき
C * 4 大好き だいすき
C * 4 こんにちは こんにちわ
C * 4 待ってね まあてね
C * 4 ぴょんぴょん跳ねる ぴょんぴょんはねる
C * 4 くるくる回る くるくるまわる
C * 4 にこにこ笑う にこにこわらう
C * 4 すやすや眠る すやすやねむる
C * 4 おなかがすいた おなかがすいた
C * 4 ばあ ばあ
C * 4 ただいま ただいま
C * 4 いただきます いただきます
C * 4 ごちそうさま ごちそうさま
C * 4 おやすみなさい おやすみなさい
C * 4 また明日 またあした
C * 4 手をつないで てをつないで
C * 4 みんななかよし みんななかよし
G * 4 うらめしい うらめしい
G * 4 こわいよ こわいよ
G * 4 出た でた
G * 4 逃げられない にげられない
G * 4 振り向くな ふりむくな
G * 4 ヒー ひい
G * 4 ぞっとする ぞおとする
G * 4 消えてしまう きえてしまう
G * 4 帰さない かえさない

# 5 persons
P * 5 君 きみ
P * 5 あなた あなた
P * 5 僕 ぼく
P * 5 私 わたし
P * 5 恋人 こいびと
P * 5 二人 ふたり
P * 5 天使 てんし
P * 5 王子様 おうじさま
P * 5 友達 ともだち
P * 5 彼 かれ
P * 5 彼女 かのじょ
P * 5 みんな みんな
P Y 5 ベイビー べいびい
P Y 5 ダーリン だありん
P D 5 あの人 あのひと
P D 5 お前 おまえ
P O 5 船乗り ふなのり
P O 5 人魚 にんぎょ
C * 5 こねこちゃん こねこちゃん
C * 5 こぶた こぶた
C * 5 うさぎさん うさぎさん
C * 5 くまさん くまさん
C * 5 ぞうさん ぞうさん
C * 5 こりす こりす
C * 5 ひよこ ひよこ
C * 5 ママ まま
C * 5 パパ ぱぱ
C * 5 おばあちゃん おばあちゃん
C * 5 おじいちゃん おじいちゃん
C * 5 せんせい せんせい
C * 5 おともだち おともだち
C * 5 あかちゃん あかちゃん
C * 5 こいぬ こいぬ
C * 5 かえるさん かえるさん
C * 5 おさるさん おさるさん
C * 5 たぬきさん たぬきさん
C * 5 きつねさん きつねさん
C * 5 ぼくたち ぼくたち
G * 5 幽霊 ゆうれい
G * 5 妖怪 ようかい
G * 5 お化け おばけ
G * 5 死神 しにがみ
G * 5 魔女 まじょ
G * 5 鬼 おに
G * 5 吸血鬼 きゅうけつき
G * 5 雪女 ゆきおんな
G * 5 ろくろ首 ろくろくび
G * 5 骸骨 がいこつ
G * 5 のっぺらぼう のおぺらぼう
G * 5 亡霊 ぼうれい
G * 5 黒猫 くろねこ
G * 5 化け猫 ばけねこ

# 6 linking words
A * 6 の の
A * 6 と と
P * 6 だったのか だあたのか

# 7 small things
P * 7 瞳 ひとみ
P * 7 唇 くちびる
P * 7 指先 ゆびさき
P * 7 涙 なみだ
P * 7 吐息 といき
P * 7 指輪 ゆびわ
P * 7 髪 かみ
P Y 7 ピアス ぴあす
P O 7 貝殻 かいがら
C * 7 お手手 おてて
C * 7 あんよ あんよ
C * 7 ほっぺ ほおぺ
C * 7 おめめ おめめ
C * 7 おみみ おみみ
G * 7 しゃれこうべ しゃれこうべ
G * 7 爪 つめ
G * 7 目玉 めだま

# 8 places
A * 8 海 うみ
A * 8 空 そら
A * 8 山 やま
A * 8 森 もり
P * 8 街 まち
P * 8 駅 えき
P * 8 部屋 へや
P * 8 窓辺 まどべ
P * 8 都会 とかい
P * 8 夜空 よぞら
P * 8 坂道 さかみち
P * 8 交差点 こうさてん
P * 8 公園 こうえん
P * 8 屋上 おくじょう
P * 8 教会 きょうかい
P * 8 並木道 なみきみち
P * 8 夢の中 ゆめのなか
P * 8 遠い国 とおいくに
P * 8 星空 ほしぞら
P * 8 地平線 ちへいせん
P * 8 胸の中 むねのなか
P Y 8 遊園地 ゆうえんち
P Y 8 ステージ すてえじ
P D 8 酒場 さかば
P O 8 浜辺 はまべ
P O 8 港 みなと
P O 8 岬 みさき
P O 8 砂浜 すなはま
P O 8 入り江 いりえ
P O 8 水平線 すいへいせん
C * 8 お庭 おにわ
C * 8 原っぱ はらあぱ
C * 8 幼稚園 ようちえん
C * 8 動物園 どうぶつえん
C * 8 お池 おいけ
C * 8 砂場 すなば
C * 8 おうち おうち
G * 8 墓場 はかば
G * 8 お寺 おてら
G * 8 井戸 いど
G * 8 屋敷 やしき
G * 8 柳の下 やなぎのした
G * 8 廃墟 はいきょ
G * 8 地獄 じごく

# 9 things
A * 9 月 つき
A * 9 星 ほし
A * 9 風 かぜ
A * 9 雨 あめ
A * 9 花 はな
P * 9 愛 あい
P * 9 恋 こい
P * 9 夢 ゆめ
P * 9 心 こころ
P * 9 胸 むね
P * 9 光 ひかり
P * 9 影 かげ
P * 9 虹 にじ
P * 9 雲 くも
P * 9 太陽 たいよう
P * 9 季節 きせつ
P * 9 思い出 おもいで
P * 9 約束 やくそく
P * 9 未来 みらい
P * 9 奇跡 きせき
P * 9 翼 つばさ
P * 9 言葉 ことば
P * 9 手紙 てがみ
P * 9 写真 しゃしん
P * 9 歌 うた
P * 9 メロディー めろでぃい
P * 9 ハート はあと
P * 9 キス きす
P * 9 微笑み ほほえみ
P * 9 恋心 こいごころ
P * 9 秘密 ひみつ
P * 9 真実 しんじつ
P * 9 運命 うんめい
P * 9 永遠 えいえん
P * 9 想い おもい
P * 9 願い ねがい
P * 9 宝石 ほうせき
P * 9 花束 はなたば
P * 9 バラ ばら
P * 9 桜 さくら
P * 9 雪 ゆき
P * 9 ネオン ねおん
P * 9 明かり あかり
P * 9 希望 きぼう
P * 9 孤独 こどく
P * 9 自由 じゆう
P * 9 勇気 ゆうき
P * 9 ときめき ときめき
P * 9 ため息 ためいき
P * 9 鼓動 こどう
P * 9 足音 あしおと
P * 9 物語 ものがたり
P * 9 青春 せいしゅん
P * 9 情熱 じょうねつ
P * 9 流れ星 ながれぼし
P * 9 夕焼け ゆうやけ
P * 9 口笛 くちぶえ
P * 9 日 ひ
P Y 9 スニーカー すにいかあ
P Y 9 ラブレター らぶれたあ
P D 9 ワイン わいん
P D 9 面影 おもかげ
P O 9 波 なみ
P O 9 潮風 しおかぜ
P O 9 カモメ かもめ
P O 9 珊瑚 さんご
P O 9 イルカ いるか
P O 9 波しぶき なみしぶき
P O 9 灯台 とうだい
P O 9 入道雲 にゅうどうぐも
C * 9 木の実 きのみ
C * 9 どんぐり どんぐり
C * 9 りんご りんご
C * 9 おにぎり おにぎり
C * 9 ケーキ けえき
C * 9 ボール ぼおる
C * 9 積み木 つみき
C * 9 風船 ふうせん
C * 9 絵本 えほん
C * 9 クレヨン くれよん
C * 9 ちょうちょ ちょうちょ
C * 9 てんとう虫 てんとうむし
C * 9 お星さま おほしさま
C * 9 お日さま おひさま
C * 9 シャボン玉 しゃぼんだま
G * 9 人魂 ひとだま
G * 9 鬼火 おにび
G * 9 棺桶 かんおけ
G * 9 呪い のろい
G * 9 お札 おふだ
G * 9 血 ち
G * 9 骨 ほね
G * 9 悲鳴 ひめい
G * 9 蝋燭 ろうそく
G * 9 生首 なまくび

# 10 times
A * 10 夜 よる
P * 10 朝 あさ
P * 10 夕暮れ ゆうぐれ
P * 10 真夜中 まよなか
P * 10 今夜 こんや
P * 10 明日 あした
P * 10 昨日 きのう
P * 10 夏 なつ
P * 10 冬 ふゆ
P Y 10 週末 しゅうまつ
P D 10 黄昏 たそがれ
C * 10 お昼 おひる
C * 10 おやつの時間 おやつのじかん
G * 10 丑三つ時 うしみつどき
G * 10 真夜中 まよなか
G * 10 逢魔が時 おうまがとき

# 11 particles
A * 11 が が
A * 11 に に
A * 11 は わ
A * 11 を を

# 12 trailing particles
A * 12 だけ だけ
A * 12 でも でも
A * 12 には にわ
A * 12 からの からの

# 13 and 14 open the two fixed phrases
A * 13 でも でも
A * 14 夕焼け ゆうやけ

# 15 shouts
A * 15 ラララ ららら
P * 15 ルルル るるる
P Y 15 イェイ いぇい
P O 15 セイヤ！ せいや
C * 15 ニャン にゃん
C * 15 ワンワン わんわん
C * 15 ピヨピヨ ぴよぴよ
C * 15 ケロケロ けろけろ
C * 15 ブーブー ぶうぶう
C * 15 モーモー もおもお
C * 15 コケコッコー こけこおこお
C * 15 パオーン ぱおおん
C * 15 チュンチュン ちゅんちゅん
G * 15 ゲゲゲ げげげ
G * 15 ヒッヒッヒ ひいひいひ
"""

CLASSES = {"A": 0, "P": 1, "C": 2, "G": 3}
MASKS = {"*": 255, "Y": 1, "D": 2, "O": 4}

# Rows wanted per category: (every style, pops, child, ghost).
WANTED = {
    1: (0, 15, 0, 5),
    2: (1, 34, 4, 6),
    3: (1, 17, 7, 10),
    4: (0, 52, 21, 9),
    5: (0, 18, 20, 14),
    6: (2, 1, 0, 0),
    7: (0, 9, 5, 3),
    8: (4, 26, 7, 7),
    9: (5, 65, 15, 10),
    10: (1, 10, 2, 3),
    11: (4, 0, 0, 0),
    12: (4, 0, 0, 0),
    13: (1, 0, 0, 0),
    14: (1, 0, 0, 0),
    15: (1, 3, 9, 2),
}
WANTED_POPS_MASKS = {255: 181, 1: 22, 2: 13, 4: 34}
WANTED_ROWS = 434
WANTED_DOUBLE_DISPLAYS = 4

SMALL = set("ゃゅょぇぉぃ")
# Every kana a reading may hold: plain hiragana, the small ones that take a
# note, and nothing that is not sung as a syllable of its own.
SINGABLE = set(
    "あいうえおかきくけこがぎぐげごさしすせそざじずぜぞたちつてとだぢづでど"
    "なにぬねのはひふへほばびぶべぼぱぴぷぺぽまみむめもやゆよらりるれろわをん"
) | SMALL

VOWEL_OF = {}
for vowel, row in (
    ("あ", "あかがさざただなはばぱまやらわゃ"),
    ("い", "いきぎしじちぢにひびぴみりぃ"),
    ("う", "うくぐすずつづぬふぶぷむゆるゅ"),
    ("え", "えけげせぜてでねへべぺめれぇ"),
    ("お", "おこごそぞとどのほぼぽもよろをぉょ"),
):
    for kana in row:
        VOWEL_OF[kana] = vowel


class TableError(Exception):
    pass


def to_hiragana(ch):
    code = ord(ch)
    if 0x30A1 <= code <= 0x30F6:
        return chr(code - 0x60)
    return ch


def is_kana_text(text):
    return all(
        0x3041 <= ord(c) <= 0x3096 or 0x30A1 <= ord(c) <= 0x30F6 or c in "ー・！" for c in text
    )


def sung_form(display):
    """The reading a word written only in kana must have."""
    out = []
    for ch in display:
        if ch in "・！":
            continue
        h = to_hiragana(ch)
        if h in "ーっ":
            if not out or out[-1] not in VOWEL_OF:
                raise TableError(f"{display}: a long or doubled sound with no vowel before it")
            out.append(VOWEL_OF[out[-1]])
        else:
            out.append(h)
    return "".join(out)


def check_reading(display, reading):
    if not 1 <= len(reading) <= 14:
        raise TableError(f"{display}: reading {reading} must be 1 to 14 notes")
    bad = [c for c in reading if c not in SINGABLE]
    if bad:
        raise TableError(f"{display}: reading {reading} holds {''.join(bad)}, not one note each")
    if reading[0] in SMALL:
        raise TableError(f"{display}: reading {reading} starts with a small kana")
    if is_kana_text(display):
        expected = sung_form(display)
        # The particle は is the one spelling that is not sung as written.
        same = len(expected) == len(reading) and all(
            e == r or (e == "は" and r == "わ") for e, r in zip(expected, reading)
        )
        if not same:
            raise TableError(f"{display}: reading {reading}, but it is sung {expected}")


def parse_words(text):
    rows = []
    for number, line in enumerate(text.splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        fields = line.split()
        if len(fields) != 5:
            raise TableError(f"line {number}: want class, variants, category, display, reading")
        cls, mask, category, display, reading = fields
        if cls not in CLASSES or mask not in MASKS or not category.isdigit():
            raise TableError(f"line {number}: bad class, variants or category")
        if mask != "*" and cls != "P":
            raise TableError(f"line {number}: only pops words belong to one variant")
        check_reading(display, reading)
        if category in ("11", "12") and "は" in reading:
            raise TableError(f"line {number}: the particle は is sung わ")
        for text_ in (display, reading):
            try:
                text_.encode("cp932")
            except UnicodeEncodeError:
                raise TableError(f"line {number}: {text_} is not in code page 932")
        rows.append((CLASSES[cls], MASKS[mask], int(category), display, reading))
    return rows


def check_counts(rows):
    if len(rows) != WANTED_ROWS:
        raise TableError(f"{len(rows)} rows, want {WANTED_ROWS}")
    have = collections.Counter((r[2], r[0]) for r in rows)
    for category, wanted in WANTED.items():
        for cls, n in enumerate(wanted):
            if have[(category, cls)] != n:
                raise TableError(f"category {category} class {cls}: {have[(category, cls)]} rows, want {n}")
    if set(c for c, _ in have) - set(WANTED):
        raise TableError("a category outside 1 to 15")
    masks = collections.Counter(r[1] for r in rows if r[0] == 1)
    if dict(masks) != WANTED_POPS_MASKS:
        raise TableError(f"pops variants {dict(masks)}, want {WANTED_POPS_MASKS}")
    displays = collections.Counter(r[3] for r in rows)
    doubles = [d for d, n in displays.items() if n == 2]
    if len(doubles) != WANTED_DOUBLE_DISPLAYS or any(n > 2 for n in displays.values()):
        raise TableError(f"display texts used twice: {doubles}, want {WANTED_DOUBLE_DISPLAYS}")
    entries = collections.Counter((r[2], r[3], r[0]) for r in rows)
    if any(n > 1 for n in entries.values()):
        raise TableError("a word is listed twice in the same category and class")


def c_bytes(text):
    return '"' + "".join(f"\\x{b:02x}" for b in text.encode("cp932")) + '"'


def render(rows):
    lines = [
        "// Generated by tools/make_word_table.py: edit the word list there and run it again.",
        "// Style class, variant mask, category, spare, display, reading (code page 932).",
    ]
    for cls, mask, category, display, reading in rows:
        lines.append(f"{{{cls}, {mask}, {category}, 0, {c_bytes(display)}, {c_bytes(reading)}}}, // {display} {reading}")
    return "\n".join(lines) + "\n"


def main(argv):
    try:
        rows = parse_words(WORDS)
        check_counts(rows)
    except TableError as e:
        print(f"make_word_table: {e}", file=sys.stderr)
        return 1
    text = render(rows)
    if "--check" in argv[1:]:
        try:
            with open(OUT, encoding="utf-8") as f:
                current = f.read()
        except OSError:
            current = None
        if current != text:
            print("make_word_table: lyrics/WordTable.inc is out of date", file=sys.stderr)
            return 1
        return 0
    tmp = OUT + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, OUT)
    print(f"wrote {OUT}: {len(rows)} words")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
