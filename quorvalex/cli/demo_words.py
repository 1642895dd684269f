"""Small word lists from which the demo builds its person and company names."""

FIRST_NAMES = """
James John Robert Michael William David Richard Joseph Thomas Charles Christopher Daniel Matthew
Anthony Mark Donald Steven Paul Andrew Joshua Kenneth Kevin Brian George Timothy Ronald Edward
Jason Jeffrey Ryan Jacob Gary Nicholas Eric Jonathan Stephen Larry Justin Scott Brandon Benjamin
Mary Patricia Jennifer Linda Elizabeth Barbara Susan Jessica Sarah Karen Lisa Nancy Betty Margaret
Sandra Ashley Kimberly Emily Donna Michelle Carol Amanda Dorothy Melissa Deborah Stephanie Rebecca
Sharon Laura Cynthia Kathleen Amy Angela Shirley Anna Brenda Pamela Emma Nicole Helen Samantha
José María François Zoë Łukasz Søren Jürgen Inès Renée Héctor Raúl Ángel Andrés Joaquín Sofía
Lucía Müller Björn Åsa Mårten Noémie Thérèse Dvořák Miloš Zdeněk Gökhan Şule Çağlar Ömer İlker
Ahmed Mohammed Fatima Aisha Omar Hassan Priya Rahul Anjali Vikram Arjun Deepak Sanjay Wei Li
Hiroshi Yuki Kenji Akira Sakura Min-jun Seo-yeon Ji-ho Nguyen Thanh Olumide Chinedu Amara Kwame
Giulia Alessandro Francesca Matteo Lorenzo Chiara Pierre Camille Élodie Mathieu Gaëlle Stéphane
""".split()

LAST_NAMES = """
Smith Johnson Williams Brown Jones Miller Davis Wilson Anderson Taylor Thomas Moore Jackson Martin
Lee Thompson White Harris Clark Lewis Robinson Walker Young Allen King Wright Scott Hill Green
Adams Baker Nelson Carter Mitchell Roberts Turner Phillips Campbell Parker Evans Edwards Collins
Stewart Morris Murphy Cook Rogers Morgan Cooper Peterson Reed Bailey Bell Kelly Howard Ward Cox
García Martínez Rodríguez Hernández López González Pérez Sánchez Ramírez Torres Flores Gómez
Müller Schmidt Schneider Fischer Weber Meyer Wagner Becker Schäfer Köhler Groß Krüger Löwe
Dubois Lefèvre Moreau Laurent Girard Bonnet Rousseau Mercier Faure Chevalier Lemaître Bérard
Rossi Russo Ferrari Esposito Bianchi Romano Colombo Ricci Marino Greco Bruno Gallo Conti
Nowak Kowalski Wiśniewski Wójcik Kowalczyk Kamiński Lewandowski Zieliński Szymański Dąbrowski
Jensen Nielsen Hansen Pedersen Andersen Christensen Larsen Sørensen Rasmussen Jørgensen Øster
Novák Svoboda Dvořák Černý Procházka Kučera Veselý Horák Yılmaz Kaya Demir Şahin Çelik Öztürk
O'Brien O'Connor McDonald MacLeod Fitzgerald Van der Berg De Jong Van Dijk Bakker Janssen
Patel Sharma Singh Kumar Gupta Khan Ali Hussain Nakamura Tanaka Watanabe Suzuki Kim Park Choi
""".split("\n")

# Surnames of more than one word stay together.
LAST_NAMES = [name for line in LAST_NAMES for name in
              line.replace("Van der Berg", "Van_der_Berg").replace("De Jong", "De_Jong")
              .replace("Van Dijk", "Van_Dijk").split()]
LAST_NAMES = [name.replace("_", " ") for name in LAST_NAMES]

CYRILLIC_FIRST = """Иван Пётр Алексей Дмитрий Сергей Николай Михаил Андрей
Ольга Анна Мария Елена Наталья Татьяна Светлана Юлия""".split()
CYRILLIC_LAST = """Иванов Петров Смирнов Кузнецов Попов Соколов Лебедев Козлов
Новиков Морозов Волков Соловьёв Васильев Зайцев Павлов Семёнов""".split()
CYRILLIC_LETTERS = "абвгдеёжзийклмнопрстуфхцчшщыэюя"

GREEK_FIRST = """Γιώργος Νίκος Κώστας Δημήτρης Γιάννης Παναγιώτης
Μαρία Ελένη Αικατερίνη Βασιλική Σοφία Αναστασία""".split()
GREEK_LAST = """Παπαδόπουλος Οικονόμου Γεωργίου Παπαδάκης Νικολάου
Βασιλείου Ιωάννου Καραγιάννης Αθανασίου Πετρίδης""".split()
GREEK_LETTERS = "αβγδεζηθικλμνξοπρστυφχψω"

CJK_SURNAMES = "王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 林 罗 高".split()
CJK_GIVEN = "伟 芳 娜 敏 静 丽 强 磊 军 洋 勇 艳 杰 娟 涛 明 超 秀英 霞 平 刚 桂英 建华 志强".split()
CJK_CITIES = "北京 上海 广州 深圳 杭州 南京 成都 武汉".split()
CJK_BRANDS = "华泰 长城 东方 金鹏 新星 恒通 宏远 天成 安达 永盛 瑞丰 盛世".split()
CJK_TRADES = "科技 贸易 电子 物流 建设 食品 医药 机械".split()
CJK_COMPANY_FORMS = ("有限公司", "股份有限公司", "集团有限公司")

COMPANY_WORDS = """
Northern Southern Pacific Atlantic Atlas Summit Crescent Evergreen Pioneer Redwood Silverline
Harbor Keystone Meridian Granite Horizon Liberty Phoenix Sterling Vanguard Beacon Cascade Orchard
Riverside Lakeside Highland Prairie Coastal Golden Blue Ridge Iron Gate Oak Valley Red Rock
Bright Star Clearwater Greenfield Westbrook Eastwood Northstar Sunrise Frontier Heritage Unity
""".split("\n")
COMPANY_WORDS = [w for line in COMPANY_WORDS for w in
                 line.replace("Blue Ridge", "Blue_Ridge").replace("Iron Gate", "Iron_Gate")
                 .replace("Oak Valley", "Oak_Valley").replace("Red Rock", "Red_Rock")
                 .replace("Bright Star", "Bright_Star").split()]
COMPANY_WORDS = [w.replace("_", " ") for w in COMPANY_WORDS]

INDUSTRIES = """Logistics Software Foods Pharmaceuticals Engineering Holdings Capital Energy Textiles
Motors Systems Analytics Media Consulting Construction Laboratories Technologies Services
Manufacturing Industries Associates Management Insurance Trading Chemicals Electronics""".split()

LEGAL_FORMS = ["Inc.", "Ltd", "LLC", "GmbH", "S.A.", "AG", "Corporation", "Company", "Limited",
               "PLC", "& Co.", "SARL", "B.V.", "Oy", "AB", "S.p.A.", "Sp. z o.o.", "Incorporated"]

INTERNATIONAL = ["International", "Global", "Group", "of America", "Europe", "Worldwide"]

CYRILLIC_COMPANY_FORMS = ("ООО", "АО", "ПАО")
CYRILLIC_COMPANY_WORDS = "Северный Сибирский Уральский Балтийский Восточный Новый Первый".split()
CYRILLIC_COMPANY_TRADES = "Транспорт Энергия Строй Торг Металл Связь Агро Нефть".split()

GREEK_COMPANY_WORDS = "Ελληνική Αθηναϊκή Μακεδονική Κρητική Ιονική Αιγαίο".split()
GREEK_COMPANY_TRADES = "Τεχνική Ναυτιλιακή Εμπορική Κατασκευαστική Τροφίμων".split()
GREEK_COMPANY_FORMS = ("Α.Ε.", "Ε.Π.Ε.", "Ο.Ε.")

# Long forms and the short forms people type (both directions are used).
ABBREVIATIONS = {
    "International": "Intl", "Corporation": "Corp.", "Company": "Co.", "Limited": "Ltd",
    "Incorporated": "Inc.", "Manufacturing": "Mfg", "Services": "Svcs", "Technologies": "Tech",
    "Associates": "Assoc.", "Laboratories": "Labs", "Industries": "Ind.", "Engineering": "Eng.",
    "Management": "Mgmt", "Brothers": "Bros.", "and": "&", "Systems": "Sys.", "Holdings": "Hldgs",
    "Pharmaceuticals": "Pharma", "Electronics": "Elec.", "Northern": "N.", "Southern": "S.",
    "Insurance": "Ins.", "Chemicals": "Chem.", "Construction": "Constr.",
    "有限公司": "公司", "股份有限公司": "股份公司",
}

# Neighbouring keys on a QWERTY keyboard, for typing slips.
KEYBOARD_NEIGHBOURS = {
    "q": "wa", "w": "qes", "e": "wrd", "r": "etf", "t": "ryg", "y": "tuh", "u": "yij", "i": "uok",
    "o": "ipl", "p": "ol", "a": "qsz", "s": "adwx", "d": "sfec", "f": "dgrv", "g": "fhtb",
    "h": "gjyn", "j": "hkum", "k": "jlim", "l": "kop", "z": "asx", "x": "zcs", "c": "xvd",
    "v": "cbf", "b": "vng", "n": "bmh", "m": "nj",
}
